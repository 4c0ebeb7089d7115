// The plain-text view of MULTI strings.
#include "display/multi_to_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string view(const char* source, size_t size = 64) {
    std::vector<char> out(size, 'x');
    multi_to_text(source, out.data(), size);
    EXPECT_EQ('\0', out[size - 1]) << "always NUL-terminated within the size";
    return std::string(out.data());
}

TEST(MultiToText, Examples) {
    struct {
        const char* multi;
        const char* text;
    } cases[] = {
        {"[jp3][fo2]CLOSED[nl]AHEAD", "CLOSED AHEAD"},
        {"[g3]A[g4]B", "<GRAPHIC> AB"},
        {"[hc41][hc62]", "Ab"},
        {"[mvcl30,2,5,SLOW]", "SLOW"},
        {"[g1]X[ms11,name,DETOUR]Y", "DETOUR <GR>"},
        {"[ms11,name,DETOUR]", "DETOUR"},
        {"[[A]]", "[A]"},
        {"A[np]B", "A B"},
        {"[f1] [F3,2] [fl]x[/fl][fo3]", "<RTF> <RTF> x"},
        {"[ms11,spm,1,3]/[ms11,spk,1,3]/[ms11,r,0,5]", "<MPH>/<KPH>/<RTD>"},
        {"[ms11,gpo,1,1]A", "<GRAPHIC> A"},
        {"[cf1][pb9][cr1,1,5,5,1]OK", "OK"},
        {"[mvcl30,2,5,[fo2]SLOW]DOWN", "SLOWDOWN"},
        {"[hcZ41]", "A"},
        {"[hc]A", "A"},
        {"unclosed[nl", "unclosed "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, view(c.multi)) << c.multi;
}

TEST(MultiToText, CutsToTheDestination) {
    EXPECT_EQ("ABCDE", view("ABCDEFGH", 6));
    EXPECT_EQ("ABCDE", view("ABCDEFGH[ms11,name,X]", 6)); // full: the walk stops there
    EXPECT_EQ("X", view("ABCD[ms11,name,X]", 6));
    EXPECT_EQ("<GRA", view("[g1]ABC", 5));
    EXPECT_EQ("", view("ABC", 1));
    EXPECT_EQ("LONGNAME", view("[ms11,name,LONGNAME]", 9));
    EXPECT_EQ("LONG", view("[ms11,name,LONGNAME]", 5));
    EXPECT_EQ("LONGNA <GR>", view("[g1][ms11,name,LONGNAME]", 12));
    EXPECT_EQ("<GRAPHI", view("[g1][ms11,name,LONGNAME]", 8)); // full before the name
}

TEST(MultiToText, NullArgumentsDoNothing) {
    char out[4] = {'a', 'b', 'c', 'd'};
    multi_to_text(nullptr, out, sizeof(out));
    EXPECT_EQ('a', out[0]);
    multi_to_text("x", nullptr, 4);
    multi_to_text("x", out, 0);
    EXPECT_EQ('a', out[0]);
}

} // namespace
