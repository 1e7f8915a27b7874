#include "signal/checksum.h"

#include <array>

namespace kiv {
namespace {

// One table per CRC, made at compile time: the register after shifting
// each byte value through eight steps of the polynomial.
template <typename T, bool Reflected>
constexpr std::array<T, 256> CrcTable(T poly) {
    constexpr int kBits = static_cast<int>(sizeof(T)) * 8;
    std::array<T, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        T reg = Reflected ? static_cast<T>(v) : static_cast<T>(static_cast<T>(v) << (kBits - 8));
        for (int bit = 0; bit < 8; ++bit) {
            if constexpr (Reflected)
                reg =
                    (reg & 1u) != 0 ? static_cast<T>((reg >> 1) ^ poly) : static_cast<T>(reg >> 1);
            else
                reg = (reg >> (kBits - 1)) != 0 ? static_cast<T>((reg << 1) ^ poly)
                                                : static_cast<T>(reg << 1);
        }
        table[v] = reg;
    }
    return table;
}

// 07, and 31 / 8005 / EDB88320 as their reflected forms 8C, A001, EDB88320.
constexpr auto kCrc8 = CrcTable<std::uint8_t, false>(0x07);
constexpr auto kCrc8Maxim = CrcTable<std::uint8_t, true>(0x8C);
constexpr auto kCrc16Reflected = CrcTable<std::uint16_t, true>(0xA001);
constexpr auto kCrc16Ccitt = CrcTable<std::uint16_t, false>(0x1021);
constexpr auto kCrc32 = CrcTable<std::uint32_t, true>(0xEDB88320u);

template <typename T>
T Reflected(const std::array<T, 256>& table, T reg, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) reg = static_cast<T>((reg >> 8) ^ table[(reg ^ b) & 0xFFu]);
    return reg;
}

template <typename T>
T Straight(const std::array<T, 256>& table, T reg, std::span<const std::uint8_t> bytes) {
    constexpr int kShift = static_cast<int>(sizeof(T)) * 8 - 8;
    for (std::uint8_t b : bytes)
        reg = static_cast<T>(static_cast<T>(reg << 8) ^ table[((reg >> kShift) ^ b) & 0xFFu]);
    return reg;
}

}  // namespace

std::uint32_t ComputeChecksum(Checksum kind, std::span<const std::uint8_t> bytes) {
    switch (kind) {
        case Checksum::None:
            return 0;
        case Checksum::Sum8:
        case Checksum::Lrc8: {
            std::uint8_t sum = 0;
            for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
            return kind == Checksum::Sum8 ? sum : static_cast<std::uint8_t>(-sum);
        }
        case Checksum::Xor8: {
            std::uint8_t x = 0;
            for (std::uint8_t b : bytes) x ^= b;
            return x;
        }
        case Checksum::Crc8:
            return Straight<std::uint8_t>(kCrc8, 0, bytes);
        case Checksum::Crc8Maxim:
            return Reflected<std::uint8_t>(kCrc8Maxim, 0, bytes);
        case Checksum::Crc16Arc:
            return Reflected<std::uint16_t>(kCrc16Reflected, 0, bytes);
        case Checksum::Crc16Modbus:
            return Reflected<std::uint16_t>(kCrc16Reflected, 0xFFFF, bytes);
        case Checksum::Crc16CcittFalse:
            return Straight<std::uint16_t>(kCrc16Ccitt, 0xFFFF, bytes);
        case Checksum::Crc16Xmodem:
            return Straight<std::uint16_t>(kCrc16Ccitt, 0, bytes);
        case Checksum::Crc32:
            return Reflected<std::uint32_t>(kCrc32, 0xFFFFFFFFu, bytes) ^ 0xFFFFFFFFu;
    }
    return 0;
}

void PutInOrder(std::uint32_t value, int width, ByteOrder order, std::uint8_t* out) {
    for (int i = 0; i < width; ++i) {
        const int shift = 8 * (order == ByteOrder::Le ? i : width - 1 - i);
        out[i] = static_cast<std::uint8_t>(value >> shift);
    }
}

}  // namespace kiv
