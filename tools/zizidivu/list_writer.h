// Writing listport.txt beside the tool so that no reader ever sees half a
// list: the lines go to a temporary file in the same folder, which then
// replaces the old list in one rename. Called on the tool's only thread.
#pragma once

#include <string>
#include <vector>

enum ListWriteResult {
    ListWritten = 0,
    ListNoFolder = 1,   // the tool's own path could not be read
    ListNoTempFile = 2, // the temporary file could not be created or written
    ListNotReplaced = 3 // the old list could not be replaced
};

// The folder of this executable, ending with its backslash; empty on failure.
std::wstring ToolFolder();

// Writes the lines, UTF-8 without a byte order mark, each ended by CR LF, to
// folder + "listport.txt". On failure the old list stays as it was and no
// temporary file is left behind.
ListWriteResult WriteList(const std::wstring& folder, const std::vector<std::wstring>& lines);
