// The sample partitions most engine tests scan, with the lines they must yield.
#pragma once

#include <string>
#include <vector>

#include "test_images.h"
#include "tobrin/platform/text.h"

namespace rawscan::testing {

inline constexpr const char* kTime = "4/3/2008 10:15:36";

// Root: a long-named file over a two-cluster chain, a live file, a deleted file, a
// folder, a deleted folder, a deleted "folder" whose cluster is not one, and a
// second entry for the first folder.
inline FatImage sample_fat() {
    FatImage img;
    std::uint32_t slot = img.long_name(2, 0, u"Long file name.txt");
    img.entry(2, slot++, "LONGFI~1TXT", 0x20, 10, 600);
    img.chain(10, 2);
    img.fill_cluster(10, std::string(512, 'a'));
    img.fill_cluster(11, std::string(88, 'b'));
    img.entry(2, slot++, "README  TXT", 0x20, 12, 5);
    img.chain(12, 1);
    img.fill_cluster(12, "hello");
    img.entry(2, slot++,
              "\xE5"
              "ELETED TXT",
              0x20, 13, 700);
    img.fill_cluster(13, std::string(512, 'c'));
    img.fill_cluster(14, std::string(188, 'd'));
    img.entry(2, slot++, "DIR        ", 0x10, 20, 0);
    img.chain(20, 1);
    img.dots(20, 0);
    img.entry(20, 2, "INNER   BIN", 0x20, 21, 3);
    img.chain(21, 1);
    img.fill_cluster(21, "xyz");
    img.entry(2, slot++,
              "\xE5"
              "OLD       ",
              0x10, 30, 0);
    img.dots(30, 0);
    img.entry(30, 2, "LOST    TXT", 0x20, 31, 4);
    img.fill_cluster(31, "lost");
    img.entry(2, slot++,
              "\xE5"
              "BAD       ",
              0x10, 40, 0);
    img.fill_cluster(40, "not a folder");
    img.entry(2, slot++, "TWICE      ", 0x10, 20, 0);
    img.entry(2, slot++, "EMPTY   TXT", 0x20, 0, 0);
    img.entry(2, slot++, "LOOP    BIN", 0x20, 50, 5000);
    img.link(50, 51);
    img.link(51, 50);
    return img;
}

inline const std::vector<std::string> kSampleLines = {
    std::string("Long file name.txt|C:\\|600|") + kTime + "|0|0",
    std::string("README.TXT|C:\\|5|") + kTime + "|1|0",
    std::string("_ELETED.TXT|C:\\|700|") + kTime + "|2|1",
    std::string("INNER.BIN|C:\\DIR\\|3|") + kTime + "|3|0",
    std::string("LOST.TXT|C:\\_OLD\\|4|") + kTime + "|4|1",
    std::string("EMPTY.TXT|C:\\|0|") + kTime + "|5|0",
    std::string("LOOP.BIN|C:\\|5000|") + kTime + "|6|0",
};

inline constexpr std::uint64_t kChangeTime = 0x01D0000000000000ull;

inline std::string change_time() {
    return tobrin::platform::format_line_time(*tobrin::platform::filetime_to_local(kChangeTime));
}

// Records from 16 on: a folder with a live, a deleted and a non-resident file; a file
// whose parent record now holds another folder; a deleted folder and its file; two
// folders naming each other as parent; a file whose folder is gone; an empty file.
inline NtfsImage sample_ntfs(std::uint32_t sector_size = 512) {
    NtfsImage img(sector_size);
    img.folder(16, reference(5, 5), u"docs");
    img.file(17, reference(16, 1), u"a.txt", "alpha");
    img.file(18, reference(16, 1), u"gone.txt", "deleted", false);
    img.file(19, reference(16, 2), u"moved.txt", "m");
    img.folder(20, reference(5, 5), u"old", 3, false);
    img.file(21, reference(20, 2), u"kept.txt", "k", false);
    img.folder(22, reference(23, 1), u"x");
    img.folder(23, reference(22, 1), u"y");
    img.file(24, reference(22, 1), u"loop.txt", "l");
    img.file(25, reference(60, 1), u"orphan.txt", "o");
    img.file(26, reference(5, 5), u"empty.txt", "");
    img.record(27, img.builder(27, 1)
                       .standard_information(0x20)
                       .file_name(reference(16, 1), u"big.bin")
                       .non_resident(0x80, {0x21, 0x02, 0x2C, 0x01, 0x00}, 2, sector_size, 700)
                       .build());
    img.fill_cluster(300, 'p');
    img.fill_cluster(301, 'q');
    return img;
}

inline std::vector<std::string> ntfs_sample_lines(std::uint64_t mft_size = 65536) {
    const std::string t = change_time();
    return {
        "$MFT|C:\\|" + std::to_string(mft_size) + "|" + t + "|0|0",
        "a.txt|C:\\docs\\|5|" + t + "|1|0",
        "gone.txt|C:\\docs\\|7|" + t + "|2|1",
        "moved.txt|NULL|1|" + t + "|3|0",
        "kept.txt|C:\\old\\|1|" + t + "|4|1",
        "loop.txt|y\\x\\|1|" + t + "|5|0",
        "orphan.txt|NULL|1|" + t + "|6|0",
        "empty.txt|C:\\|0|" + t + "|7|0",
        "big.bin|C:\\docs\\|700|" + t + "|8|0",
    };
}

}  // namespace rawscan::testing
