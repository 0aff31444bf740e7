#include "launcher/ModuleLoader.h"

#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Without Qt running yet, the program's folder comes from the kernel.
std::string ProgramFolder() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    const std::string full(path, static_cast<std::size_t>(length));
    return full.substr(0, full.rfind('/'));
}

} // namespace

int RunModule(const char* file, const char* entry, int argc, char** argv) {
    const std::string folder = ProgramFolder();
    // Installed and in the build tree alike, the modules sit in ../lib/quillmate.
    const std::vector<std::string> candidates = {folder + "/" + file,
                                                 folder + "/../lib/quillmate/" + file};
    std::string errors;
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), R_OK) != 0)
            continue;
        // Lazy: the module's calls into its libraries are bound when first
        // made, not all of them before the window can start. A missing
        // library still fails here.
        void* module = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (!module) {
            errors += std::string("\n  ") + ::dlerror();
            continue;
        }
        using Entry = int (*)(int, char**);
        if (auto run = reinterpret_cast<Entry>(::dlsym(module, entry)))
            return run(argc, argv); // kept loaded: Qt's objects outlive the call
        errors += "\n  " + path + ": no " + entry;
    }
    std::fprintf(stderr, "quillmate: cannot load %s%s\n", file,
                 errors.empty() ? " (not installed)" : errors.c_str());
    return 1;
}
