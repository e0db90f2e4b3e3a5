// The program's load configuration: the loader resolves the program's own
// imports, and what those DLLs import in turn, from the system folder only,
// never from the program's folder (Windows 10 1607 and later read this
// field; earlier systems ignore it). Linked into each shipped program. This
// linker does not point the image's load-configuration entry at the
// structure itself: cmake/set-load-config does that after the link.
#include <windows.h>

#ifdef _WIN64
using LoadConfig = IMAGE_LOAD_CONFIG_DIRECTORY64;
#else
using LoadConfig = IMAGE_LOAD_CONFIG_DIRECTORY32;
#endif

// Read by the loader before any code of ours runs, so it must be constant
// data. The field after CSDVersion, which these headers still call
// Reserved1, is DependentLoadFlags; every other field stays 0.
constexpr LoadConfig SystemFolderOnly() {
    LoadConfig config{};
    config.Size = sizeof(LoadConfig);
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}

extern "C" constinit const LoadConfig _load_config_used = SystemFolderOnly();
