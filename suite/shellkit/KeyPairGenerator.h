#pragma once

// The key-pair generator that the control center opens (the library's entry 13). Its window is
// a Qt dialog in shellkit_dialogs; programs without windows never link it and get the questions
// through uikit instead.
namespace shellkit {

// The generator's result when a pair was added to both rings; anything else means nothing was
// added.
constexpr int kKeyPairGenerated = 12325;
constexpr int kKeyPairCancelled = 2;

// The window, as the generator sees it.
class IKeyPairWindow {
public:
    virtual ~IKeyPairWindow() = default;
    // Runs the window modally; kKeyPairGenerated when a pair was added.
    virtual int Run() = 0;
};

// Installs the window the generator opens (null: the questions through uikit again); gives the
// previous one.
IKeyPairWindow* SetKeyPairWindow(IKeyPairWindow* window);

// Opens the generator. Without a window it asks name, e-mail, expiry and the passphrase twice
// through uikit's text questions.
int GenerateKeyPair();

} // namespace shellkit
