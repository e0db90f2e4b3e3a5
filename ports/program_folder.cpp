// Cutting a module path down to its folder. Called on the GUI thread.
#include "ports/program_folder.h"

std::wstring FolderOfPath(std::wstring_view path) {
    size_t begin = 0;
    if (!path.empty() && path[0] == L'"') {
        begin = 1;
    }
    size_t cut = begin; // just after the last separator seen so far
    for (size_t i = begin; i < path.size() && path[i] != L'|'; ++i) {
        if (path[i] == L'\\' || path[i] == L'/') {
            cut = i + 1;
        }
    }
    return std::wstring(path.substr(begin, cut - begin));
}
