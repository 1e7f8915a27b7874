#include "signal/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "model/errors.h"

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
