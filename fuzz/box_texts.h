#pragma once

// Texts for the window's boxes, drawn from the fuzz input: often a sensible
// value, so that an action gets past its first boxes, otherwise anything at
// all: boundary numbers, invalid UTF-8, NUL bytes, texts of up to a megabyte.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "model/signal_table.h"

namespace kiv::fuzz {

class BoxTexts {
  public:
    static constexpr std::size_t kLongest = std::size_t{1} << 20;
    // Long texts cost time on every run; a few per input are enough.
    static constexpr int kLongTextsPerInput = 2;

    explicit BoxTexts(FuzzedDataProvider& in, int longTexts = kLongTextsPerInput)
        : m_in(in), m_longTextsAllowed(longTexts) {}

    // A text for a box that would otherwise hold `usual`.
    std::string Next(const std::string& usual) {
        switch (m_in.ConsumeIntegral<std::uint8_t>() % 8) {
            case 3:
                return NumberText();
            case 4:
                return Dictionary();
            case 5:
                return m_in.ConsumeRandomLengthString(40);
            case 6:
                return SignalName();
            case 7:
                if (m_longTexts < m_longTextsAllowed) return LongText();
                return m_in.ConsumeRandomLengthString(40);
            default:  // an exhausted input lands here too
                return usual;
        }
    }

  private:
    std::string NumberText() {
        std::string s;
        const char* const blanks[] = {"", "", " ", "\t", "  "};
        s += blanks[m_in.ConsumeIntegralInRange<int>(0, 4)];
        std::int64_t base = 0;
        switch (m_in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:  // levels, small times and periods
                base = m_in.ConsumeIntegralInRange<std::int64_t>(-3, 300);
                break;
            case 1: {  // next to the 16- and 32-bit limits
                const std::int64_t limits[] = {32767, 32768, 2147483647, 2147483648};
                base = limits[m_in.ConsumeIntegralInRange<int>(0, 3)] +
                       m_in.ConsumeIntegralInRange<std::int64_t>(-2, 2);
                if (m_in.ConsumeBool()) base = -base;
                break;
            }
            default:
                base =
                    m_in.ConsumeIntegral<std::int32_t>() >> m_in.ConsumeIntegralInRange<int>(0, 31);
                break;
        }
        if (base >= 0 && m_in.ConsumeBool()) s += '+';
        s += std::to_string(base);
        const char* const fractions[] = {"", ".5", ".4999999", ".5000001", ".", ".0", ".25"};
        s += fractions[m_in.ConsumeIntegralInRange<int>(0, 6)];
        const char* const exponents[] = {"", "", "e0", "E+1", "e-1", "e2", "E-3", "e9"};
        s += exponents[m_in.ConsumeIntegralInRange<int>(0, 7)];
        s += blanks[m_in.ConsumeIntegralInRange<int>(0, 4)];
        return s;
    }

    std::string Dictionary() {
        static const std::string kTexts[] = {"",
                                             " ",
                                             "0",
                                             "-0",
                                             "+0",
                                             "1",
                                             "255",
                                             "256",
                                             "255.5",
                                             "254.5",
                                             "-0.4",
                                             "-0.5",
                                             "-0.6",
                                             "-1",
                                             "100.5",
                                             "100.4",
                                             "155",
                                             "2147483647",
                                             "2147483648",
                                             "-2147483648",
                                             "-2147483649",
                                             "2147483647.5",
                                             "-2147483648.5",
                                             "2147483646.5",
                                             "32767",
                                             "32768",
                                             "1e2",
                                             "1E+2",
                                             "1e",
                                             "e5",
                                             ".5",
                                             "5.",
                                             ".",
                                             "+",
                                             "-",
                                             "0x10",
                                             "inf",
                                             "nan",
                                             "1,5",
                                             "1 2",
                                             "\xEF\xBC\x91\xEF\xBC\x92",
                                             "1e400",
                                             "-1e400",
                                             "1e-400",
                                             "0.5e1",
                                             " 12 ",
                                             "\t7\t",
                                             "12\n",
                                             std::string("\0", 1),
                                             std::string("5\0", 2),
                                             "\xC0\x80",
                                             "\xFF",
                                             "sinx1",
                                             "SINX1",
                                             "squx3",
                                             "TrIx2",
                                             "sinx4",
                                             " sinx1",
                                             "sinx1 ",
                                             "noise"};
        constexpr int kCount = static_cast<int>(sizeof kTexts / sizeof kTexts[0]);
        return kTexts[m_in.ConsumeIntegralInRange<int>(0, kCount - 1)];
    }

    std::string SignalName() {
        // The nine names a slot can hold: every row of the table but the noise source.
        std::string s(kSignalVariables.at(m_in.ConsumeIntegralInRange<std::size_t>(0, 8)).name);
        const auto capitals = m_in.ConsumeIntegral<std::uint8_t>();
        for (std::size_t i = 0; i < s.size(); ++i) {
            if ((capitals >> i) & 1U && s[i] >= 'a' && s[i] <= 'z')
                s[i] = static_cast<char>(s[i] - 32);
        }
        return s;
    }

    std::string LongText() {
        ++m_longTexts;
        const std::string head = m_in.ConsumeRandomLengthString(4);
        std::string chunk = m_in.ConsumeRandomLengthString(8);
        if (chunk.empty()) chunk = "0";
        const std::string tail = m_in.ConsumeRandomLengthString(4);
        // Lengths spread evenly over the powers of two up to a megabyte, so
        // that most long texts cost little and some reach the limit.
        const int power = m_in.ConsumeIntegralInRange<int>(6, 20);
        const std::size_t length =
            std::min(m_in.ConsumeIntegralInRange<std::size_t>(std::size_t{1} << (power - 1),
                                                              std::size_t{1} << power),
                     kLongest - 8);
        std::string s = head;
        s.reserve(length + head.size() + tail.size());
        while (s.size() < length) s += chunk;
        s.resize(std::max(length, head.size()));
        s += tail;
        return s;
    }

    FuzzedDataProvider& m_in;
    int m_longTexts = 0;
    int m_longTextsAllowed;
};

}  // namespace kiv::fuzz
