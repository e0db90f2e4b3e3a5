// Entry of every Windows GoogleTest program: the programs link with -municode,
// so the entry is wmain; arguments are passed on to GoogleTest as UTF-8.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) {
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, s.data(), n, nullptr, nullptr);
        }
        args.push_back(s);
    }
    std::vector<char*> ptrs;
    for (auto& s : args) {
        ptrs.push_back(s.data());
    }
    int count = static_cast<int>(ptrs.size());
    ptrs.push_back(nullptr);
    testing::InitGoogleTest(&count, ptrs.data());
    return RUN_ALL_TESTS();
}
