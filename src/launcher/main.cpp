// quillmate: the window, or with a command, the command line. Loads no
// library itself: each start loads the module it needs, so a command-line
// run never maps the widget toolkit and the window never maps libcurl early.
// A window start while a window runs hands its request over and exits.
#include "cli/CommandWords.h"
#include "desktop/InstanceChannel.h"
#include "launcher/ModuleLoader.h"

int main(int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "";
    switch (CommandOfWord(word)) {
    case CliCommand::Window:
        // The window takes one request word at most; the command line
        // reports anything more as a usage error.
        if (argc <= 2) {
            InstanceRequest request;
            if (ParseInstanceRequest(word, request) &&
                HandOverRequest(InstanceSocketPath(), request))
                return 0;
            return RunModule("quillmate_window.so", "QuillmateWindowMain", argc, argv);
        }
        break;
    case CliCommand::Ocr:
        return RunModule("quillmate_ocr.so", "QuillmateOcrCommand", argc, argv);
    default:
        break;
    }
    return RunModule("quillmate_cli.so", "QuillmateCommand", argc, argv);
}
