// SPDX-License-Identifier: MIT
// The built shared library as a host's loader sees it: exactly the 49 mi*
// functions exported, and nothing needed beyond the C library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::set<std::string> kExports = {
    "miInitialize",
    "miCommandSetFloat", "miCommandGetFloat", "miFeedbackGetFloat", "miInfoGetFloat",
    "miCommandSetHighResAngle", "miCommandGetHighResAngle", "miFeedbackGetHighResAngle",
    "miInfoGetHighResAngle",
    "miCommandGetVector3f", "miFeedbackGetVector3f",
    "miCommandGetQuaternionf", "miFeedbackGetQuaternionf",
    "miCommandGetUInt64", "miFeedbackGetUInt64",
    "miCommandSetEnum", "miCommandGetEnum", "miFeedbackGetEnum", "miInfoGetEnum",
    "miCommandSetBool", "miCommandGetBool", "miFeedbackGetBool", "miInfoGetBool",
    "miCommandSetNumberedFloat", "miCommandGetNumberedFloat", "miFeedbackGetNumberedFloat",
    "miCommandSetIoPin", "miCommandGetIoPin", "miFeedbackGetIoPin",
    "miCommandSetIoPinInt", "miCommandGetIoPinInt", "miCommandHasIoPinInt",
    "miFeedbackGetIoPinInt", "miFeedbackHasIoPinInt",
    "miCommandSetIoPinFloat", "miCommandGetIoPinFloat", "miCommandHasIoPinFloat",
    "miFeedbackGetIoPinFloat", "miFeedbackHasIoPinFloat",
    "miCommandSetLed", "miCommandGetLed", "miFeedbackGetLed", "miInfoGetLed",
    "miCommandSetFlag", "miCommandGetFlag", "miInfoGetFlag",
    "miCommandHasField", "miFeedbackHasField", "miInfoHasField",
};

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return output;
}

// Symbol names (version suffixes dropped) from `nm -D` output lines.
std::set<std::string> symbolNames(const std::string& nmOutput) {
    std::set<std::string> names;
    std::istringstream lines(nmOutput);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string name = line.substr(line.find_last_of(' ') + 1);
        if (!name.empty()) names.insert(name.substr(0, name.find('@')));
    }
    return names;
}

const std::string kLibrary = TOVAK_LIBRARY_PATH;

TEST(Exports, ExactlyTheFortyNineFunctions) {
    EXPECT_EQ(kExports.size(), 49u);
    const auto defined = symbolNames(run("nm -D --defined-only '" + kLibrary + "'"));
    EXPECT_EQ(defined, kExports);
    // And they are functions (text symbols).
    const auto text = run("nm -D --defined-only '" + kLibrary + "'");
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), kExports.size());
    EXPECT_EQ(text.find(" D "), std::string::npos) << "data symbols exported:\n" << text;
    EXPECT_EQ(text.find(" B "), std::string::npos) << "data symbols exported:\n" << text;
}

#ifndef TOVAK_INSTRUMENTED
TEST(Exports, NeedsOnlyTheCLibrary) {
    const std::string dynamic = run("readelf -d '" + kLibrary + "'");
    std::set<std::string> needed;
    std::istringstream lines(dynamic);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        const auto open = line.find('['), close = line.find(']');
        needed.insert(line.substr(open + 1, close - open - 1));
    }
    EXPECT_EQ(needed, std::set<std::string>{"libc.so.6"});
}

TEST(Exports, ImportsOnlyMemoryCopiesAndLoaderHooks) {
    const std::set<std::string> allowed = {
        "memcpy", "memset", "memmove",
        // weak hooks every shared object carries from the C runtime start files
        "__cxa_finalize", "__gmon_start__", "_ITM_deregisterTMCloneTable",
        "_ITM_registerTMCloneTable"};
    for (const auto& name : symbolNames(run("nm -D --undefined-only '" + kLibrary + "'")))
        EXPECT_TRUE(allowed.count(name)) << "unexpected import: " << name;
}

TEST(Exports, HasNoExceptionOrTypeInfoMachinery) {
    const std::string sections = run("readelf -S -W '" + kLibrary + "'");
    EXPECT_EQ(sections.find(".gcc_except_table"), std::string::npos);
    const std::string symbols = run("nm '" + kLibrary + "' 2>&1");
    EXPECT_EQ(symbols.find("__gxx_personality"), std::string::npos);
    EXPECT_EQ(symbols.find("_ZTI"), std::string::npos);
    EXPECT_EQ(symbols.find("_ZTS"), std::string::npos);
}
#endif

}  // namespace
