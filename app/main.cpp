// Quillon: starts the services, the windows that stand behind the engine's
// seams, and the main window, whose start-up brings up the rest.

#include "AboutForm.h"
#include "MainForm.h"
#include "RegistryStore.h"
#include "SetHandle.h"
#include "WindowServices.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

void PrintHelp() {
    std::printf("Usage: quillon [DEBUG]\n"
                "       quillon CVI,\"name\",\"version\",\"date\",\"description\",\"copyright\","
                "\"legal notes\"\n"
                "  DEBUG  (in capitals, anywhere among the arguments) shows the debug menus.\n"
                "  CVI    shows only the about box, describing the application named by the\n"
                "         fields; its Close ends the program.\n\n"
                "Quillon keeps its settings file (%s), logs and the current report in\n"
                "  %s\n"
                "(QUILLON_FOLDER names another; by default the program's folder when it can\n"
                "be written, else $XDG_CONFIG_HOME/quillon or ~/.config/quillon). The VISA\n"
                "resource cache lives in the registry file\n"
                "  %s\n"
                "(QUILLON_REGISTRY_FILE names another).\n",
                SetHandle::kSettingsFileName, SetHandle::ProgramFolder().c_str(),
                Registry::DefaultFile().c_str());
}

} // namespace

int main(int argc, char** argv) {
    for (int k = 1; k < argc; ++k)
        if (std::strcmp(argv[k], "--help") == 0 || std::strcmp(argv[k], "-h") == 0) {
            PrintHelp();
            return 0;
        }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillon");
    WindowServices::Install();
    std::string problem;
    if (auto subject = AboutForm::ForeignSubject(QApplication::arguments().mid(1), problem)) {
        if (!problem.empty()) {
            std::fprintf(stderr, "quillon: %s\n", problem.c_str());
            return 2;
        }
        AboutForm about(*subject);
        about.show();
        return QApplication::exec();
    }
    MainForm& main = MainForm::StartProgram();
    const int code = QApplication::exec();
    delete &main;
    return code;
}
