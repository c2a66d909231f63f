// Stands in for keeper when the tests start it: it writes its argument, its process, parent and
// session ids, whether its standard output is /dev/null and how many other descriptors it
// inherited to the file named by QM_FAKE_KEEPER_OUT, then ends.
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* out = std::getenv("QM_FAKE_KEEPER_OUT");
    if (!out)
        return 2;
    // Give the starter time to return: the test then sees that keeper outlived its starter's
    // intermediate child.
    ::usleep(200 * 1000);
    struct stat st {};
    const bool stdoutIsNull = ::fstat(STDOUT_FILENO, &st) == 0 && S_ISCHR(st.st_mode);
    int extraFds = 0; // open descriptors beyond the standard three, not counting the listing's own
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.' && std::atoi(e->d_name) > 2 && std::atoi(e->d_name) != ::dirfd(dir))
                ++extraFds;
        ::closedir(dir);
    }
    const std::string tmp = std::string(out) + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f)
        return 1;
    std::fprintf(f, "%s %d %d %d %d %d %d", argc > 1 ? argv[1] : "-", argc, static_cast<int>(::getpid()),
                 static_cast<int>(::getppid()), static_cast<int>(::getsid(0)), stdoutIsNull ? 1 : 0,
                 extraFds);
    std::fclose(f);
    return std::rename(tmp.c_str(), out) == 0 ? 0 : 1;
}
