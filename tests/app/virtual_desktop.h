#pragma once
// A desktop of the test's own: a virtual X server (Xvfb) on a display it
// picks itself, so that tests running in parallel never share one, with the
// openbox window manager running on it. While it stands, Qt programs started
// by the test (or the test itself, once it makes its QApplication) draw there
// through the xcb platform, with real frames, sizes and places.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

class VirtualDesktop {
public:
    // Starts the server with one screen of the given size and the window
    // manager on it, then points DISPLAY and QT_QPA_PLATFORM at it.
    VirtualDesktop(int width, int height) {
        char folder[] = "/tmp/quillon-desktop-XXXXXX";
        if (!mkdtemp(folder)) {
            error = "no temporary folder for the window manager";
            return;
        }
        folder_ = folder;
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        // -displayfd: the server takes the first free display and writes its
        // number once clients can connect.
        server_ = Spawn({"Xvfb", "-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp"}, {},
                        serverOut_);
        const std::string line = server_ > 0 ? ReadLine(serverOut_) : std::string();
        if (server_ < 0 || line.empty()) {
            error = "Xvfb did not start (scripts/setup installs it)";
            return;
        }
        display = ":" + line;
        // Its settings and cache in the test's folder, never the user's.
        manager_ = Spawn({"openbox", "--sm-disable", "--startup", "echo ready"},
                         {"DISPLAY=" + display, "HOME=" + folder_, "XDG_CONFIG_HOME=" + folder_,
                          "XDG_CACHE_HOME=" + folder_, "XDG_DATA_HOME=" + folder_},
                         managerOut_);
        // Its notices come first; the started command's line says it manages
        // the screen.
        bool ready = false;
        for (int k = 0; k < 20 && manager_ > 0 && !ready; ++k)
            ready = ReadLine(managerOut_) == "ready";
        if (!ready) {
            error = "openbox did not start (scripts/setup installs it)";
            return;
        }
        setenv("DISPLAY", display.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }

    ~VirtualDesktop() {
        Stop(manager_, managerOut_);
        Stop(server_, serverOut_);
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }

    VirtualDesktop(const VirtualDesktop&) = delete;
    VirtualDesktop& operator=(const VirtualDesktop&) = delete;

    std::string display; // ":N"
    std::string error;   // empty while the desktop stands

private:
    // Starts a program with its standard output into a pipe (`out`, kept
    // open while it runs, so that a later line cannot kill it) and its errors
    // discarded. `env` adds to (or replaces in) this process's environment.
    // The program ends with this process, even when a test crashes.
    static pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
                       int& out) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return -1;
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> envText = env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e, name = entry.substr(0, entry.find('=') + 1);
            bool replaced = false;
            for (const std::string& own : env)
                replaced = replaced || own.rfind(name, 0) == 0;
            if (!replaced) envText.push_back(entry);
        }
        std::vector<char*> envp;
        for (std::string& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            dup2(ends[1], 1);
            const int discard = open("/dev/null", O_WRONLY);
            dup2(discard, 2);
            execvpe(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(ends[1]);
        if (pid < 0) {
            close(ends[0]);
            return -1;
        }
        out = ends[0];
        return pid;
    }

    // The next line of a program's output; empty after 30 s without one.
    static std::string ReadLine(int out) {
        std::string line;
        pollfd wait{out, POLLIN, 0};
        for (char c = 0; poll(&wait, 1, 30000) > 0 && read(out, &c, 1) == 1 && c != '\n';)
            line += c;
        return line;
    }

    static void Stop(pid_t pid, int out) {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        if (out >= 0) close(out);
    }

    std::string folder_;
    pid_t server_ = -1, manager_ = -1;
    int serverOut_ = -1, managerOut_ = -1;
};
