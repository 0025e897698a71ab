// A folder of the running test's own for the files it makes: under the test temporary folder,
// named after the test ("norvane_<Suite>_<Test>"), emptied when made and removed with everything
// in it when the test ends, passed or failed (also after a failed ASSERT, which returns).
#pragma once

#include <string>

struct ScratchFolder {
    std::string path; // no separator at the end

    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

// PATH/NAME inside the folder.
std::string scratch_file(const ScratchFolder& folder, const std::string& name);
