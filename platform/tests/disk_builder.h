// Small synthetic disks in memory: partition tables and boot sectors, for tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace tobrin::testing {

class DiskBuilder {
  public:
    DiskBuilder(std::uint64_t sectors, std::uint32_t sector_size = 512)
        : sector_size_(sector_size), bytes_(sectors * sector_size) {}

    std::uint8_t* sector(std::uint64_t lba) { return bytes_.data() + lba * sector_size_; }

    // Writes entry `slot` (0-3) of the table in the sector at `table_lba`, with its signature.
    DiskBuilder& entry(std::uint64_t table_lba, int slot, std::uint8_t type, std::uint32_t start,
                       std::uint32_t count) {
        std::uint8_t* s = sector(table_lba);
        std::uint8_t* e = s + 446 + 16 * slot;
        e[4] = type;
        put32(e + 8, start);
        put32(e + 12, count);
        s[510] = 0x55;
        s[511] = 0xAA;
        return *this;
    }

    // A FAT boot sector whose geometry gives `clusters` data clusters.
    DiskBuilder& fat_boot(std::uint64_t lba, std::uint32_t clusters, bool fat32) {
        std::uint8_t* s = sector(lba);
        const std::uint32_t reserved = fat32 ? 32 : 4, root_entries = fat32 ? 0 : 512;
        const std::uint32_t width = fat32 ? 4 : 2;
        const std::uint32_t fat_sectors = ((clusters + 2) * width + 511) / 512;
        const std::uint32_t root_sectors = root_entries * 32 / 512;
        const std::uint32_t total = reserved + 2 * fat_sectors + root_sectors + clusters;
        s[0] = 0xEB;
        put16(s + 11, 512);
        s[13] = 1;
        put16(s + 14, static_cast<std::uint16_t>(reserved));
        s[16] = 2;
        put16(s + 17, static_cast<std::uint16_t>(root_entries));
        s[21] = 0xF8;
        if (fat32) {
            put32(s + 36, fat_sectors);
        } else {
            put16(s + 22, static_cast<std::uint16_t>(fat_sectors));
        }
        put32(s + 32, total);
        s[510] = 0x55;
        s[511] = 0xAA;
        return *this;
    }

    DiskBuilder& ntfs_boot(std::uint64_t lba, std::uint64_t total_sectors) {
        std::uint8_t* s = sector(lba);
        s[0] = 0xEB;
        std::memcpy(s + 3, "NTFS    ", 8);
        put16(s + 11, static_cast<std::uint16_t>(sector_size_));
        s[13] = 8;
        put32(s + 40, static_cast<std::uint32_t>(total_sectors));
        put32(s + 48, 4);
        s[64] = 0xF6;  // 1024-byte records
        s[68] = 1;
        s[510] = 0x55;
        s[511] = 0xAA;
        return *this;
    }

    std::vector<std::uint8_t> bytes() const { return bytes_; }

  private:
    static void put16(std::uint8_t* p, std::uint16_t v) {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void put32(std::uint8_t* p, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    std::uint32_t sector_size_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tobrin::testing
