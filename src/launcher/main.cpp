// quillmate: the window, or with a command, the command line. Loads no
// library itself: each start loads the module it needs, so a command-line
// run never maps the widget toolkit and the window never maps libcurl early.
// A window start while a window runs hands its request over and exits.
#include "cli/CommandWords.h"
#include "desktop/InstanceChannel.h"
#include "launcher/ModuleLoader.h"

int main(int argc, char** argv) {
    switch (CommandOfWord(argc > 1 ? argv[1] : "")) {
    case CliCommand::Window: {
        InstanceRequest request;
        if (argc <= 2 && ParseInstanceRequest(argc > 1 ? argv[1] : "", request) &&
            HandOverRequest(InstanceSocketPath(), request))
            return 0;
        return RunModule("quillmate_window.so", "QuillmateWindowMain", argc, argv);
    }
    case CliCommand::Ocr:
        return RunModule("quillmate_ocr.so", "QuillmateOcrCommand", argc, argv);
    default:
        return RunModule("quillmate_cli.so", "QuillmateCommand", argc, argv);
    }
}
