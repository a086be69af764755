#include "Rtl.h"

#include <gtest/gtest.h>

TEST(StrToInt, AcceptsSigned32BitDecimal) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {{"0", 0},
                 {"80", 80},
                 {"-5", -5},
                 {"+7", 7},
                 {"007", 7},
                 {"2147483647", 2147483647},
                 {"-2147483648", INT32_MIN}};
    for (const auto& c : cases)
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectsEverythingElseNamingTheText) {
    for (const char* text :
         {"", " 1", "1 ", "N/A", "2147483648", "1e3", "0x10", "+", "-", "+-1", "++1"}) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("'") + text + "'"), std::string::npos);
        }
    }
}

TEST(CompareText, FoldsLettersOnlyAndComparesBytes) {
    const struct {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"explorer.exe", "System", -1}, // case is folded
        {"abc", "ABC", 0},
        {"_init", "zsh", 1}, // '_' lies above 'Z'
        {"svchost", "svchost.exe", -1},
        {"", "a", -1},
        {"10.0.0.2", "9.0.0.1", -1},
        {"192.168.0.10", "192.168.0.9", -1},
        {"\xe9t\xe9", "zz", 1}, // bytes above 0x7F compare unsigned
    };
    for (const auto& c : cases) {
        const int result = CompareText(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    }
    EXPECT_EQ(CompareText("svchost", "svchost.exe"), -4);
}
