// SPDX-License-Identifier: MIT
// The built shared libraries as a host's loader sees them: exactly
// miInitialize and the accessors of the list exported, and nothing needed
// beyond the C library; the call-list library exporting miRunCalls alone and
// needing nothing but the accessors of libtovakWrapper.
#include "tovakWrapperAccessors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

// miInitialize and the accessors of the list.
#define TOVAK_NAME(value, ID, function, ...) #function,
const std::set<std::string> kExports = {"miInitialize", MI_ACCESSORS(TOVAK_NAME)};
#undef TOVAK_NAME

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
const std::string kCallsLibrary = TOVAK_CALLS_LIBRARY_PATH;

TEST(Exports, ExactlyMiInitializeAndTheListedAccessors) {
    EXPECT_EQ(kExports.size(), MI_ACCESSOR_COUNT + 1u);  // no name listed twice
    const auto defined = symbolNames(run("nm -D --defined-only '" + kLibrary + "'"));
    EXPECT_EQ(defined, kExports);
    // And they are functions (text symbols).
    const auto text = run("nm -D --defined-only '" + kLibrary + "'");
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
              kExports.size());
    EXPECT_EQ(text.find(" D "), std::string::npos) << "data symbols exported:\n" << text;
    EXPECT_EQ(text.find(" B "), std::string::npos) << "data symbols exported:\n" << text;
}

#ifndef TOVAK_INSTRUMENTED
// NEEDED entries of a library's dynamic section.
std::set<std::string> neededBy(const std::string& library) {
    const std::string dynamic = run("readelf -d '" + library + "'");
    std::set<std::string> needed;
    std::istringstream lines(dynamic);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        const auto open = line.find('['), close = line.find(']');
        needed.insert(line.substr(open + 1, close - open - 1));
    }
    return needed;
}

// Weak hooks every shared object carries from the C runtime start files.
const std::set<std::string> kLoaderHooks = {
    "__cxa_finalize", "__gmon_start__", "_ITM_deregisterTMCloneTable", "_ITM_registerTMCloneTable"};

TEST(Exports, NeedsOnlyTheCLibrary) {
    EXPECT_EQ(neededBy(kLibrary), std::set<std::string>{"libc.so.6"});
    // The call-list library: libtovakWrapper by its SONAME, and the C
    // library, which it calls nothing of but is linked against.
    EXPECT_EQ(neededBy(kCallsLibrary), (std::set<std::string>{"libc.so.6", TOVAK_LIBRARY_SONAME}));
}

TEST(Exports, ImportsOnlyMemoryCopiesAndLoaderHooks) {
    std::set<std::string> allowed = kLoaderHooks;
    allowed.insert({"memcpy", "memset", "memmove"});
    for (const auto& name : symbolNames(run("nm -D --undefined-only '" + kLibrary + "'")))
        EXPECT_TRUE(allowed.count(name)) << "unexpected import: " << name;
    // The call-list library: the accessors and the hooks, nothing else.
    allowed = kLoaderHooks;
    for (const auto& name : kExports)
        if (name != "miInitialize") allowed.insert(name);
    std::set<std::string> accessors;
    for (const auto& name : symbolNames(run("nm -D --undefined-only '" + kCallsLibrary + "'"))) {
        EXPECT_TRUE(allowed.count(name)) << "unexpected import of the call-list library: " << name;
        if (name.rfind("mi", 0) == 0) accessors.insert(name);
    }
    EXPECT_EQ(accessors.size(), std::size_t{MI_ACCESSOR_COUNT})
        << "the call-list library should call every accessor";
}

TEST(Exports, HasNoExceptionOrTypeInfoMachinery) {
    for (const std::string& library : {kLibrary, kCallsLibrary}) {
        const std::string sections = run("readelf -S -W '" + library + "'");
        EXPECT_EQ(sections.find(".gcc_except_table"), std::string::npos) << library;
        const std::string symbols = run("nm '" + library + "' 2>&1");
        EXPECT_EQ(symbols.find("__gxx_personality"), std::string::npos) << library;
        EXPECT_EQ(symbols.find("_ZTI"), std::string::npos) << library;
        EXPECT_EQ(symbols.find("_ZTS"), std::string::npos) << library;
    }
}
#endif

TEST(Exports, TheCallListLibraryExportsMiRunCallsAlone) {
    const std::string text = run("nm -D --defined-only '" + kCallsLibrary + "'");
    EXPECT_EQ(symbolNames(text), std::set<std::string>{"miRunCalls"});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find(" T miRunCalls"), std::string::npos) << text;
}

}  // namespace
