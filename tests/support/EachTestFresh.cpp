// Gives each GoogleTest test the scratch folder as a process of its own would find it: CTest
// runs every test in a process of its own, but a test program run directly runs them all in
// one, and a test must not meet the folders and files an earlier one left behind. Only the
// application-data folder stays, since the program's log there is open for the whole run.
#include <filesystem>
#include <system_error>

#include <gtest/gtest.h>

#include "support/TestFolder.h"

namespace {

class EachTestFresh : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override
    {
        namespace fs = std::filesystem;
        std::error_code error;
        for (fs::directory_iterator entry(TestSupport::ScratchFolder(), error), end; !error && entry != end;
             entry.increment(error))
            if (entry->path().filename() != "appdata")
                fs::remove_all(entry->path(), error);
    }
};

const bool installed = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new EachTestFresh);
    return true;
}();

}  // namespace
