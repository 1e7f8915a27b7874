#include "signal/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "model/errors.h"
#include "model/texts.h"

namespace kiv {
namespace {

ErrorKind KindOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const KivError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no error raised";
    return ErrorKind::Port;
}

TEST(NumberRule, AcceptedForms) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0", 0},       {"12", 12},          {" 12 ", 12},   {"\t7\t", 7},    {"+5", 5},
        {"-5", -5},     {".5", 0.5},         {"5.", 5},      {"-.25", -0.25}, {"1e2", 100},
        {"1E2", 100},   {"2.5e-1", 0.25},    {"1e+3", 1000}, {"007", 7},      {"254.5", 254.5},
        {"-0.4", -0.4}, {"  -1.5E1  ", -15},
    };
    for (const auto& c : cases) {
        auto v = ReadNumber(c.text);
        ASSERT_TRUE(v.has_value()) << '"' << c.text << '"';
        EXPECT_DOUBLE_EQ(*v, c.value) << '"' << c.text << '"';
        EXPECT_TRUE(IsNumber(c.text)) << c.text;
    }
}

TEST(NumberRule, RejectedForms) {
    const char* cases[] = {"",    " ",     "abc", "1 2", "1,5", "0x10", "inf",   "nan", "1e",
                           "e5",  ".",     "+",   "-",   "+-1", "1e+",  "1.2.3", "５",  "1e2.5",
                           "--1", "1_000", "1f",  "٣",   "12a", "a12",  "1e 2",  ".e1", "Infinity"};
    for (const char* c : cases) {
        EXPECT_FALSE(ReadNumber(c).has_value()) << '"' << c << '"';
        EXPECT_EQ(KindOf([&] { ToReal(c); }), ErrorKind::NotANumber) << '"' << c << '"';
    }
    // A NUL byte inside the text is not a blank.
    EXPECT_FALSE(IsNumber(std::string_view("1\0", 2)));
}

TEST(NumberRule, LocaleDoesNotChangeTheResult) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) std::setlocale(LC_NUMERIC, "C.UTF-8");
    EXPECT_DOUBLE_EQ(ToReal("2.5"), 2.5);
    EXPECT_FALSE(IsNumber("2,5"));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Conversions, RoundHalvesToEven) {
    const struct {
        const char* text;
        std::int64_t expected;
    } cases[] = {
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"-3.5", -4},
        {"0.5", 0},
        {"1.5", 2},
        {"254.5", 254},
        {"2.4999", 2},
        {"2.5001", 3},
        {"-0.4", 0},
        {"2147483646.5", 2147483646},
    };
    for (const auto& c : cases) EXPECT_EQ(ToInteger(c.text), c.expected) << c.text;
}

TEST(Conversions, EachTargetTakesItsEdgesAndOverflowsJustBeyond) {
    EXPECT_EQ(ToInteger("2147483647"), 2147483647);
    EXPECT_EQ(ToInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ToInteger("-2147483648.5"), std::numeric_limits<std::int32_t>::min());  // to even
    EXPECT_EQ(ToByte("255"), 255);
    EXPECT_EQ(ToByte("254.5"), 254);
    EXPECT_EQ(ToByte("-0.5"), 0);
    EXPECT_EQ(RealToInt16(ToReal("32767")), 32767);
    EXPECT_EQ(RealToInt16(ToReal("-32768")), -32768);

    const char* int32Overflow[] = {"2147483648", "2147483647.5", "-2147483649",
                                   "1e10",       "1e400",        "-1e400"};
    for (const char* t : int32Overflow)
        EXPECT_EQ(KindOf([&] { ToInteger(t); }), ErrorKind::Overflow) << t;
    const char* byteOverflow[] = {"256", "255.5", "-1", "-0.6", "1e3"};
    for (const char* t : byteOverflow)
        EXPECT_EQ(KindOf([&] { ToByte(t); }), ErrorKind::Overflow) << t;
    EXPECT_EQ(KindOf([] { RealToInt16(ToReal("32768")); }), ErrorKind::Overflow);
    EXPECT_EQ(KindOf([] { ToInteger(""); }), ErrorKind::NotANumber);
}

// What a conversion or a checked operation says when it fails, in the
// language in force: kiv-cli prints the English after the box at fault.
TEST(Conversions, FailuresSayWhyInTheLanguageInForce) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        TextLanguage language;
        std::function<void()> fail;
        const char* said;
    } cases[] = {
        {"text", TextLanguage::English, [] { ToInteger("x1"); }, "not a number: \"x1\""},
        {"text zh", TextLanguage::Chinese, [] { ToInteger("x1"); }, "不是数字：“x1”"},
        {"long text cut", TextLanguage::English, [] { ToReal("y" + std::string(50, '9')); },
         "not a number: \"y999999999999999999999999999999999999999\""},
        {"huge", TextLanguage::English, [] { ToInteger("1e400"); }, "number too large"},
        {"byte", TextLanguage::English, [] { ToByte("256"); }, "value out of range for a byte"},
        {"byte zh", TextLanguage::Chinese, [] { ToByte("256"); }, "数值超出 字节 的范围"},
        {"int32", TextLanguage::English, [] { ToInteger("1e10"); },
         "value out of range for a 32-bit integer"},
        {"int16 nan", TextLanguage::English, [nan] { RealToInt16(nan); },
         "not a finite value for a 16-bit integer"},
        {"int16 zh", TextLanguage::Chinese, [] { RealToInt16(40000.0); },
         "数值超出 16 位整数 的范围"},
        {"add", TextLanguage::English,
         [] { CheckedAdd(std::numeric_limits<std::int32_t>::max(), 1); },
         "integer overflow in addition"},
        {"sub", TextLanguage::English,
         [] { CheckedSub(std::numeric_limits<std::int32_t>::min(), 1); },
         "integer overflow in subtraction"},
        {"mul zh", TextLanguage::Chinese, [] { CheckedMul(65536, 65536); }, "整数乘法溢出"},
        {"mod zh", TextLanguage::Chinese, [] { CheckedMod(1, 0); }, "求余时除数为零"},
        {"int to byte", TextLanguage::English, [] { IntToByte(-1); },
         "value out of range for a byte"},
        {"real", TextLanguage::English, [nan] { CheckReal(nan); }, "floating-point fault"},
    };
    for (const auto& c : cases) {
        SetTextLanguage(c.language);
        std::string said;
        try {
            c.fail();
        } catch (const KivError& e) {
            said = e.what();
        }
        SetTextLanguage(TextLanguage::English);
        EXPECT_EQ(said, c.said) << c.name;
    }
}

TEST(Conversions, NonFiniteRealsAreFloatingPointFaults) {
    const double bad[] = {std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
    for (double v : bad) {
        EXPECT_EQ(KindOf([&] { RealToInt32(v); }), ErrorKind::FloatingPoint);
        EXPECT_EQ(KindOf([&] { RealToByte(v); }), ErrorKind::FloatingPoint);
        EXPECT_EQ(KindOf([&] { CheckReal(v); }), ErrorKind::FloatingPoint);
    }
    EXPECT_EQ(CheckReal(1.5), 1.5);
}

TEST(CheckedArithmetic, OverflowAndDivisionByZero) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(CheckedAdd(kMax - 1, 1), kMax);
    EXPECT_EQ(KindOf([] { CheckedAdd(kMax, 1); }), ErrorKind::Overflow);
    EXPECT_EQ(KindOf([] { CheckedAdd(kMin, -1); }), ErrorKind::Overflow);
    EXPECT_EQ(CheckedSub(kMin + 1, 1), kMin);
    EXPECT_EQ(KindOf([] { CheckedSub(kMin, 1); }), ErrorKind::Overflow);
    EXPECT_EQ(CheckedMul(715827, 3000), 2147481000);
    EXPECT_EQ(KindOf([] { CheckedMul(715828, 3000); }), ErrorKind::Overflow);
    EXPECT_EQ(KindOf([] { CheckedMul(kMin, -1); }), ErrorKind::Overflow);
    EXPECT_EQ(CheckedMod(-7, 3), -1);
    EXPECT_EQ(CheckedMod(7, -3), 1);
    EXPECT_EQ(CheckedMod(kMin, -1), 0);
    EXPECT_EQ(KindOf([] { CheckedMod(5, 0); }), ErrorKind::DivisionByZero);
    EXPECT_EQ(IntToByte(255), 255);
    EXPECT_EQ(KindOf([] { IntToByte(256); }), ErrorKind::Overflow);
    EXPECT_EQ(KindOf([] { IntToByte(-1); }), ErrorKind::Overflow);
}

}  // namespace
}  // namespace kiv
