// SPDX-License-Identifier: MIT
// Writes what the package says of its functions, for make dist: the INDEX
// (`functions index`), and the PKG_ADD and PKG_DEL that autoload them from the
// package's one compiled file (`functions pkg_add`, `functions pkg_del`). The
// 48 accessors come from the accessor list, the others from the table below;
// the package's tests check that every one of them is there.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tovakWrapperAccessors.h"

namespace {

struct Function {
    std::string category;
    std::string name;
};

std::string categoryOf(const std::string& family) {
    if (family == "HighResAngle") return "High-resolution angles";
    if (family == "NumberedFloat") return "Numbered floats";
    if (family.compare(0, 5, "IoPin") == 0) return "I/O pins";
    if (family == "Flag" || family == "Field") return "Flags and presence";
    return "Plain values";
}

std::vector<Function> functions() {
    std::vector<Function> list = {{"Setting up", "tw_initialize"},   {"Setting up", "tw_records"},
                                  {"Setting up", "tw_shape"},        {"Setting up", "tw_forget"},
                                  {"Setting up", "tw_presence_bit"}, {"Setting up", "tw_accessors"},
                                  {"Setting up", "tw_version"}};
#define TW_FUNCTION(value, ID, function, name, MESSAGE, OP, FAMILY, ...) \
    list.push_back({categoryOf(#FAMILY), "tw_" #name});
    MI_ACCESSORS(TW_FUNCTION)
#undef TW_FUNCTION
    for (const char* name : {"tw_call_list", "tw_run_calls"}) list.push_back({"Call lists", name});
    for (const char* name :
         {"tw_sim", "tw_sim_free", "tw_sim_message", "tw_sim_scramble", "tw_sim_step"})
        list.push_back({"Simulated messages", name});
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 2 ? argv[1] : "";
    const std::vector<Function> list = functions();
    if (mode == "index") {
        std::printf("tovakwrapper >> Batched access to device messages\n");
        std::vector<std::string> categories;
        for (const Function& f : list) {
            bool seen = false;
            for (const std::string& c : categories) seen = seen || c == f.category;
            if (!seen) categories.push_back(f.category);
        }
        for (const std::string& c : categories) {
            std::printf("%s\n", c.c_str());
            for (const Function& f : list)
                if (f.category == c) std::printf(" %s\n", f.name.c_str());
        }
    } else if (mode == "pkg_add" || mode == "pkg_del") {
        // A file name without a directory is the PKG_ADD's own directory,
        // where pkg install puts the .oct.
        for (const Function& f : list)
            std::printf("autoload (\"%s\", \"__tovakwrapper__.oct\"%s);\n", f.name.c_str(),
                        mode == "pkg_del" ? ", \"remove\"" : "");
    } else {
        std::fprintf(stderr, "usage: %s index|pkg_add|pkg_del\n", argv[0]);
        return 2;
    }
    return 0;
}
