// The C interface: lookups and iteration agree with the texts the database was built from, in
// both layouts; UTF-8 forms of GBK texts, also of texts that share bytes; error codes.
#include "norvane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif
#include <vector>

#include "tests/db_builder.h"
#include "tests/scratch_folder.h"

namespace {

// GBK bytes and their UTF-8 spelling.
const std::string kChinaGbk = "\xd6\xd0\xb9\xfa";           // 中国
const std::string kChinaUtf8 = "\xe4\xb8\xad\xe5\x9b\xbd";  // 中国
const std::string kBeijingGbk = "\xb1\xb1\xbe\xa9\xca\xd0"; // 北京市
const std::string kBeijingUtf8 = "\xe5\x8c\x97\xe4\xba\xac\xe5\xb8\x82";

struct Handle {
    norvane_db* db = nullptr;
    ~Handle() { norvane_close(db); }
};

uint32_t ip(int a, int b, int c, int d) {
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | uint32_t(d);
}

TEST(CApi, LookupsAndIterationMatchTheRangesInBothLayouts) {
    std::mt19937 random(5);
    const std::vector<std::string> countries = {kChinaGbk, "Japan", "", "\xb0\xc4\xc3\xc5"};
    const std::vector<std::string> areas = {kBeijingGbk, "", "Tokyo"};
    std::vector<TextRange> ranges;
    uint32_t start = 5;
    for (int i = 0; i < 500; ++i) {
        uint32_t end = start + uint32_t(random() % 1000);
        ranges.push_back(
            {start, end, countries[random() % countries.size()], areas[random() % areas.size()]});
        start = end + 1 + uint32_t(random() % 3); // sometimes a gap
    }
    for (int32_t version : {1, 2}) {
        std::vector<uint8_t> bytes = build_db_from_texts(version, ranges);
        Handle h;
        ASSERT_EQ(norvane_open_memory(bytes.data(), bytes.size(), &h.db), NORVANE_OK);
        EXPECT_EQ(norvane_format_version(h.db), version);
        ASSERT_EQ(norvane_range_count(h.db), ranges.size());
        for (uint32_t i = 0; i < ranges.size(); ++i) {
            const TextRange& r = ranges[i];
            norvane_location at{}, found{};
            ASSERT_EQ(norvane_range(h.db, i, &at), NORVANE_OK);
            EXPECT_EQ(at.start_ip, r.start_ip);
            EXPECT_EQ(at.end_ip, r.end_ip);
            EXPECT_EQ(at.country, r.country);
            EXPECT_EQ(at.area, r.area);
            for (uint32_t address : {r.start_ip, r.end_ip}) {
                ASSERT_EQ(norvane_lookup(h.db, address, &found), NORVANE_OK);
                EXPECT_EQ(found.range_index, i);
                EXPECT_EQ(found.country, r.country);
            }
            if (i + 1 < ranges.size() && ranges[i + 1].start_ip > r.end_ip + 1) {
                EXPECT_EQ(norvane_lookup(h.db, r.end_ip + 1, &found), NORVANE_NOT_FOUND);
            }
        }
        norvane_location at{};
        EXPECT_EQ(norvane_range(h.db, uint32_t(ranges.size()), &at),
                  NORVANE_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(norvane_lookup(h.db, 0, &at), NORVANE_NOT_FOUND);
    }
}

TEST(CApi, TextsComeAsStoredAndAsUtf8) {
    std::vector<TextRange> ranges = {
        {ip(1, 0, 0, 0), ip(1, 0, 0, 255), kChinaGbk, kBeijingGbk},
        {ip(2, 0, 0, 0), ip(2, 0, 0, 255), "Japan", ""},
        {ip(3, 0, 0, 0), ip(3, 0, 0, 255), "\x81", "x\x81"}, // bytes that decode to nothing
    };
    std::vector<uint8_t> bytes = build_db_from_texts(2, ranges);
    Handle h;
    ASSERT_EQ(norvane_open_memory(bytes.data(), bytes.size(), &h.db), NORVANE_OK);
    norvane_location at{};
    ASSERT_EQ(norvane_lookup_text(h.db, "1.0.0.7", &at), NORVANE_OK);
    EXPECT_EQ(at.country, kChinaGbk);
    EXPECT_EQ(at.country_utf8, kChinaUtf8);
    EXPECT_EQ(at.area_utf8, kBeijingUtf8);
    ASSERT_EQ(norvane_lookup_text(h.db, "2.0.0.0", &at), NORVANE_OK);
    EXPECT_STREQ(at.country_utf8, "Japan");
    EXPECT_STREQ(at.area_utf8, "");
    ASSERT_EQ(norvane_lookup_text(h.db, "3.0.0.0", &at), NORVANE_OK);
    EXPECT_STREQ(at.country_utf8, "\xef\xbf\xbd");
    EXPECT_STREQ(at.area_utf8, "x\xef\xbf\xbd");
}

#ifdef _WIN32
// MinGW's default thread model has no std::thread.
template <typename Work> struct ThreadStart {
    Work* work;
    int index;
    static DWORD WINAPI run(LPVOID p) {
        ThreadStart* s = static_cast<ThreadStart*>(p);
        (*s->work)(s->index);
        return 0;
    }
};
#endif

// Runs work(0) .. work(count - 1) at once, each on its own thread.
template <typename Work> void run_in_threads(int count, Work& work) {
#ifdef _WIN32
    std::vector<ThreadStart<Work>> starts;
    for (int t = 0; t < count; ++t)
        starts.push_back({&work, t});
    std::vector<HANDLE> threads;
    for (ThreadStart<Work>& start : starts)
        threads.push_back(CreateThread(nullptr, 0, ThreadStart<Work>::run, &start, 0, nullptr));
    WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads)
        CloseHandle(thread);
#else
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back([&work, t] { work(t); });
    for (std::thread& thread : threads)
        thread.join();
#endif
}

TEST(CApi, ThreadsShareOneHandle) {
    // Each text is decoded by whichever thread asks first; all must see the same result.
    std::vector<TextRange> ranges;
    for (uint32_t i = 0; i < 4000; ++i)
        ranges.push_back({i * 16, i * 16 + 15, kChinaGbk + std::to_string(i % 700),
                          kBeijingGbk + std::to_string(i % 300)});
    std::vector<uint8_t> bytes = build_db_from_texts(2, ranges);
    Handle h;
    ASSERT_EQ(norvane_open_memory(bytes.data(), bytes.size(), &h.db), NORVANE_OK);
    std::vector<int> wrong(4, 0);
    auto work = [&](int t) {
        for (uint32_t k = 0; k < ranges.size(); ++k) {
            uint32_t i = (k * 7 + uint32_t(t) * 1000) % uint32_t(ranges.size());
            norvane_location at{};
            if (norvane_lookup(h.db, i * 16 + 3, &at) != NORVANE_OK ||
                std::string(at.country_utf8) != kChinaUtf8 + std::to_string(i % 700) ||
                std::string(at.area_utf8) != kBeijingUtf8 + std::to_string(i % 300))
                ++wrong[size_t(t)];
        }
    };
    run_in_threads(4, work);
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(CApi, ATextOffsetInsideAnotherTextDecodesFromThere) {
    // Text 1 is the last character of text 0 (offset 2 of 4 bytes of GBK).
    std::vector<TestRange> ranges = {{10, 20, 0, 1}};
    std::vector<uint8_t> bytes = build_db(2, ranges, {kChinaGbk, ""});
    // build_db writes offsets 0 and 5; point text 1 at offset 2 and restamp.
    size_t offsets = body_offset(bytes) + 12 + 16;
    bytes[offsets + 4] = 2;
    // Now text 1 overlaps text 0; the trailing empty text is a stray byte, so drop it.
    bytes.pop_back();
    restamp_digest(&bytes);
    Handle h;
    ASSERT_EQ(norvane_open_memory(bytes.data(), bytes.size(), &h.db), NORVANE_OK);
    norvane_location at{};
    ASSERT_EQ(norvane_lookup(h.db, 15, &at), NORVANE_OK);
    EXPECT_EQ(at.country_utf8, kChinaUtf8);
    EXPECT_STREQ(at.area_utf8, "\xe5\x9b\xbd"); // 国
}

TEST(CApi, ErrorsAreCodesWithMessages) {
    std::vector<uint8_t> bytes = build_db_from_texts(2, {{1, 2, "a", "b"}});
    norvane_db* db = reinterpret_cast<norvane_db*>(&bytes); // must be overwritten
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 8);
    EXPECT_EQ(norvane_open_memory(cut.data(), cut.size(), &db), NORVANE_ERROR_TRUNCATED);
    EXPECT_EQ(db, nullptr);
    std::vector<uint8_t> changed = bytes;
    changed.back() = 'x';
    changed[changed.size() - 2] = 'y';
    EXPECT_EQ(norvane_open_memory(changed.data(), changed.size(), &db),
              NORVANE_ERROR_DIGEST_MISMATCH);
    EXPECT_EQ(norvane_open_memory(bytes.data(), 10, &db), NORVANE_ERROR_TOO_SHORT);
    EXPECT_EQ(norvane_open("/nonexistent/db.dat", &db), NORVANE_ERROR_CANT_OPEN);
    EXPECT_EQ(norvane_open(".", &db), NORVANE_ERROR_CANT_OPEN); // a folder
    EXPECT_EQ(norvane_open(nullptr, &db), NORVANE_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvane_open_memory(bytes.data(), bytes.size(), nullptr),
              NORVANE_ERROR_INVALID_ARGUMENT);

    Handle h;
    ASSERT_EQ(norvane_open_memory(bytes.data(), bytes.size(), &h.db), NORVANE_OK);
    norvane_location at{};
    for (const char* text : {"1.2.3", "01.0.0.1", "1.2.3.4 ", "256.0.0.0", "", "1.2.3.4.5"})
        EXPECT_EQ(norvane_lookup_text(h.db, text, &at), NORVANE_ERROR_BAD_ADDRESS) << text;
    EXPECT_EQ(norvane_lookup(nullptr, 1, &at), NORVANE_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvane_lookup(h.db, 1, nullptr), NORVANE_ERROR_INVALID_ARGUMENT);

    // Every code has its own message; unknown codes have one too.
    std::vector<std::string> seen;
    for (int code = NORVANE_OK; code <= NORVANE_ERROR_BUFFER_TOO_SMALL; ++code) {
        std::string message = norvane_strerror(code);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), message), 0) << code;
        seen.push_back(message);
    }
    EXPECT_STREQ(norvane_strerror(-1), "unknown error");
    norvane_close(nullptr);
}

TEST(CApi, OpensAFile) {
    std::vector<uint8_t> bytes =
        build_db_from_texts(2, {{ip(8, 8, 8, 0), ip(8, 8, 8, 255), "US", "Google"}});
    ScratchFolder folder;
    std::string path = scratch_file(folder, "c_api_test.dat");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
    Handle h;
    ASSERT_EQ(norvane_open(path.c_str(), &h.db), NORVANE_OK);
    std::remove(path.c_str());
    norvane_location at{};
    ASSERT_EQ(norvane_lookup_text(h.db, "8.8.8.8", &at), NORVANE_OK);
    EXPECT_STREQ(at.area_utf8, "Google");
}

std::vector<std::string> place_fields(const norvane_place& p) {
    return {p.country_code, p.country, p.province, p.city, p.district, p.isp};
}

TEST(CApi, ParseLocationFillsTheCallersBufferOrSaysHowMuchItNeeds) {
    // A database's UTF-8 texts go straight in.
    const std::string kHaidianGbk = kBeijingGbk + "\xba\xa3\xb5\xed\xc7\xf8"; // 北京市海淀区
    std::vector<uint8_t> bytes = build_db_from_texts(
        2, {{ip(1, 0, 0, 0), ip(1, 0, 0, 255), kHaidianGbk, "\xc1\xaa\xcd\xa8/x"}}); // 联通/x
    Handle h;
    ASSERT_EQ(norvane_open_memory(bytes.data(), bytes.size(), &h.db), NORVANE_OK);
    norvane_location at{};
    ASSERT_EQ(norvane_range(h.db, 0, &at), NORVANE_OK);
    struct {
        const char* country;
        const char* area;
        std::vector<std::string> fields;
    } cases[] = {
        {at.country_utf8, at.area_utf8, {"CN", "中国", "北京市", "北京市", "海淀区", "联通"}},
        {"广西省桂林市", " CZ88.NET", {"CN", "中国", "广西壮族自治区", "桂林市", "", ""}},
        {"日本东京都", "", {"JP", "日本", "东京都", "", "", ""}},
        {"局域网", "\xff", {"", "", "", "", "", "\xef\xbf\xbd"}},
    };
    for (const auto& c : cases) {
        size_t needed = 0;
        norvane_place place{};
        // Too small, down to no buffer at all: nothing written, every field empty.
        ASSERT_EQ(norvane_parse_location(c.country, c.area, nullptr, 0, &place, &needed),
                  NORVANE_ERROR_BUFFER_TOO_SMALL);
        size_t total = 0;
        for (const std::string& f : c.fields)
            total += f.size() + 1;
        EXPECT_EQ(needed, total) << c.country;
        EXPECT_LE(needed, NORVANE_PLACE_BUFFER_SIZE(std::strlen(c.country), std::strlen(c.area)));
        for (size_t size = 0; size < needed; ++size) {
            std::vector<char> buffer(needed, '#');
            ASSERT_EQ(
                norvane_parse_location(c.country, c.area, buffer.data(), size, &place, nullptr),
                NORVANE_ERROR_BUFFER_TOO_SMALL);
            EXPECT_EQ(std::count(buffer.begin(), buffer.end(), '#'), long(needed)) << size;
            EXPECT_EQ(place_fields(place), std::vector<std::string>(6)) << size;
        }
        std::vector<char> buffer(needed);
        ASSERT_EQ(norvane_parse_location(c.country, c.area, buffer.data(), needed, &place, nullptr),
                  NORVANE_OK);
        EXPECT_EQ(place_fields(place), c.fields) << c.country;
    }
    norvane_place place{};
    char buffer[8];
    EXPECT_EQ(norvane_parse_location(nullptr, "", buffer, 8, &place, nullptr),
              NORVANE_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvane_parse_location("", nullptr, buffer, 8, &place, nullptr),
              NORVANE_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvane_parse_location("", "", buffer, 8, nullptr, nullptr),
              NORVANE_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvane_parse_location("", "", nullptr, 8, &place, nullptr),
              NORVANE_ERROR_INVALID_ARGUMENT);
}

TEST(CApi, PlaceBufferSizeSufficesForAnyBytes) {
    std::mt19937 random(11);
    const std::string pieces[] = {"中国–", "北京", "新疆", "市",
                                  "区",    "\xff", " ",    "阿拉伯联合酋长国"};
    for (int i = 0; i < 3000; ++i) {
        std::string texts[2];
        for (std::string& t : texts)
            for (size_t k = random() % 12; k > 0; --k)
                t += random() % 2 ? pieces[random() % 8] : std::string(1, char(1 + random() % 255));
        size_t size = NORVANE_PLACE_BUFFER_SIZE(texts[0].size(), texts[1].size());
        std::vector<char> buffer(size);
        norvane_place place{};
        ASSERT_EQ(norvane_parse_location(texts[0].c_str(), texts[1].c_str(), buffer.data(), size,
                                         &place, nullptr),
                  NORVANE_OK)
            << texts[0] << " | " << texts[1];
    }
}

} // namespace
