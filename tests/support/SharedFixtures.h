// The shared fixtures: containers and records written by an independent implementation, kept
// in the project's shared folder beside the checkout (../shared/fixtures). ctest hands their
// folder to the tests in CRYVAN_FIXTURES; a test program run by hand falls back on the folder
// found when the build was configured.
//
// A test that needs them cannot check what it exists for without them, so a missing fixture
// fails the test under CI (CI=true), where a silent skip would pass a build that never read
// them, and elsewhere skips it with the reason on standard error.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <string>
#include <system_error>

namespace cryvan_test {

inline std::string SharedFixturesFolder() {
    if (const char* dir = std::getenv("CRYVAN_FIXTURES"); dir && *dir)
        return dir;
#ifdef CRYVAN_DEFAULT_FIXTURES
    return CRYVAN_DEFAULT_FIXTURES;
#else
    return std::string();
#endif
}

// The full name of one shared fixture.
inline std::string SharedFixture(const std::string& file) {
    return SharedFixturesFolder() + "/" + file;
}

inline bool UnderCI() {
    const char* ci = std::getenv("CI");
    if (!ci)
        return false;
    const std::string value = ci;
    return !value.empty() && value != "0" && value != "false";
}

// Empty when every file is there and readable; otherwise which one is not, and how to get them.
inline std::string MissingSharedFixtures(std::initializer_list<const char*> files) {
    const std::string folder = SharedFixturesFolder();
    const char* const how =
        "; they are the project's shared fixtures: put the shared folder beside this checkout "
        "(../shared/fixtures) and configure again, or set CRYVAN_FIXTURES to a copy of it";
    if (folder.empty())
        return std::string("no shared fixtures folder is known (CRYVAN_FIXTURES is not set)") + how;
    for (const char* file : files) {
        const std::string path = folder + "/" + file;
        std::error_code ec;
        // Permission errors count as missing: a fixture that cannot be read checks nothing.
        if (!std::filesystem::is_regular_file(path, ec) || access(path.c_str(), R_OK) != 0)
            return "shared fixture " + path + " is missing or unreadable" + how;
    }
    return std::string();
}

inline void AnnounceMissingFixtures(const std::string& why) {
    std::cerr << "\n*** SKIPPED, NOT TESTED: " << why << " ***\n\n";
}

}  // namespace cryvan_test

// In a test body or SetUp, before any fixture is read: ends the test when one of the named
// files of the shared fixtures is missing (a failure under CI, a loud skip elsewhere).
#define CRYVAN_REQUIRE_SHARED_FIXTURES(...)                                                      \
    do {                                                                                         \
        const std::string cryvan_missing_ = ::cryvan_test::MissingSharedFixtures({__VA_ARGS__}); \
        if (!cryvan_missing_.empty()) {                                                          \
            if (::cryvan_test::UnderCI())                                                        \
                FAIL() << cryvan_missing_ << " (CI=true: the fixtures are required here)";       \
            ::cryvan_test::AnnounceMissingFixtures(cryvan_missing_);                             \
            GTEST_SKIP() << cryvan_missing_;                                                     \
        }                                                                                        \
    } while (false)
