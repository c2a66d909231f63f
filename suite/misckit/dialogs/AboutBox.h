#pragma once

#include <QDialog>
#include <QStringList>

namespace misckit {

// "About Quillmark": the version and the libraries the suite is built on, with their versions.
class CAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* parent = nullptr);
    // "Qt 6.4.2", "Crypto++ 8.7.0", "zlib 1.2.13", "libcurl 7.88.1", in that order.
    static QStringList Libraries();
};

} // namespace misckit
