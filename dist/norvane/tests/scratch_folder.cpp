#include "tests/scratch_folder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

// Folders alive at once in one test get "_2", "_3", ... after the test's name.
int g_live_folders = 0;

std::string folder_name() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "norvane_";
    name += test != nullptr ? std::string(test->test_suite_name()) + "_" + test->name() : "none";
    for (char& c : name) // parameterised tests have "/" in their names
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            c = '_';
    if (g_live_folders > 1)
        name += "_" + std::to_string(g_live_folders);
    return name;
}

} // namespace

ScratchFolder::ScratchFolder() {
    ++g_live_folders;
    path = ::testing::TempDir() + folder_name();
    std::error_code error;
    std::filesystem::remove_all(path, error); // a folder left by a run that was killed
    std::filesystem::create_directories(path, error);
    EXPECT_FALSE(error) << "can't make " << path << ": " << error.message();
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    EXPECT_FALSE(error) << "can't remove " << path << ": " << error.message();
    --g_live_folders;
}

std::string scratch_file(const ScratchFolder& folder, const std::string& name) {
    return folder.path + "/" + name;
}
