// The resource archive against damage: exact round trips, every truncation, mutations that keep a valid
// checksum, and files whose trailer lies about where the archive is.
#include "platform/base/win32errors.h"
#include "platform/resources/archive.h"
#include "platform/resources/tests/resource_test_files.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace {

namespace detail = vr::resources_detail;
using vr::ResourceEntry;
using vr::ResourceId;

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

std::vector<ResourceEntry> SampleEntries() {
    return {
        {ResourceId(u"REGISTRY"), ResourceId(102), 0x1009, "HKCR { <DEVICE> }"},
        {ResourceId(u"TYPELIB"), ResourceId(1), 0, std::string("\0\x01\xff\x80zero inside", 15)},
        {ResourceId(RT_HTML), ResourceId(u"ATTRIBUTES.XML"), 0, "<attributes/>"},
        {ResourceId(RT_HTML), ResourceId(u"ATTRIBUTES.XML"), 0x0409, ""},
    };
}

// A file made of an image and the archive of entries behind it, with its trailer.
std::string ModuleBytes(std::string_view image, const std::string& archive) {
    return std::string(image) + archive + detail::EncodeTrailer(archive, image.size());
}

TEST(ResourceArchive, ChecksumIsTheStandardCrc32) {
    EXPECT_EQ(detail::Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(detail::Crc32(""), 0u);
}

TEST(ResourceArchive, DecodesWhatItEncodedAndNothingShorterOrLonger) {
    std::string archive = detail::EncodeArchive(SampleEntries());
    std::vector<ResourceEntry> decoded;
    ASSERT_EQ(detail::DecodeArchive(archive, &decoded), S_OK);
    ASSERT_EQ(decoded.size(), 4u);
    EXPECT_EQ(decoded[1].data, SampleEntries()[1].data);
    EXPECT_EQ(decoded[3].language, 0x0409);
    for (size_t length = 0; length < archive.size(); ++length) {
        EXPECT_EQ(detail::DecodeArchive(archive.substr(0, length), &decoded), kInvalidData) << length;
        EXPECT_TRUE(decoded.empty());
    }
    EXPECT_EQ(detail::DecodeArchive(archive + '\0', &decoded), kInvalidData);
}

TEST(ResourceArchive, RefusesRecordsItWouldNeverWrite) {
    std::vector<ResourceEntry> decoded;
    auto unsorted = SampleEntries();
    std::swap(unsorted[0], unsorted[2]);
    EXPECT_EQ(detail::DecodeArchive(detail::EncodeArchive(unsorted), &decoded), kInvalidData);
    auto duplicated = SampleEntries();
    duplicated.push_back(duplicated.back());
    EXPECT_EQ(detail::DecodeArchive(detail::EncodeArchive(duplicated), &decoded), kInvalidData);

    // One entry, byte by byte: count, type (kind, value), name (kind, length, units), language, size, data.
    auto single = [](std::string typeId, std::string nameId) {
        return std::string("\1\0\0\0", 4) + typeId + nameId + std::string("\0\0\1\0\0\0x", 7);
    };
    const std::string number23("\0\x17\0", 3);
    EXPECT_EQ(detail::DecodeArchive(single(number23, std::string("\1\1\0A\0", 5)), &decoded), S_OK);
    EXPECT_EQ(detail::DecodeArchive(single(number23, std::string("\1\1\0a\0", 5)), &decoded), kInvalidData);
    EXPECT_EQ(detail::DecodeArchive(single(number23, std::string("\1\2\0#\0\x31\0", 7)), &decoded),
              kInvalidData);
    EXPECT_EQ(detail::DecodeArchive(single(number23, std::string("\1\0\0", 3)), &decoded), kInvalidData);
    EXPECT_EQ(detail::DecodeArchive(single(number23, std::string("\0\0\0", 3)), &decoded), kInvalidData);
    EXPECT_EQ(detail::DecodeArchive(single(number23, std::string("\2\1\0", 3)), &decoded), kInvalidData);
    EXPECT_EQ(detail::DecodeArchive(std::string("\xff\xff\xff\xff", 4), &decoded), kInvalidData);
}

// Whatever the decoder accepts is exactly what the encoder writes for it: no second spelling of an archive
// gets past the checks, and nothing it is fed crashes it.
TEST(ResourceArchive, MutatedArchivesAreRefusedOrCanonical) {
    std::string valid = detail::EncodeArchive(SampleEntries());
    std::mt19937 random(20240611);
    std::vector<ResourceEntry> decoded;
    for (int round = 0; round < 20000; ++round) {
        std::string mutated = valid;
        int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !mutated.empty(); ++e) {
            size_t at = random() % mutated.size();
            switch (random() % 3) {
            case 0:
                mutated[at] = static_cast<char>(random());
                break;
            case 1:
                mutated.erase(at, 1 + random() % 8);
                break;
            default:
                mutated.insert(at, 1 + random() % 8, static_cast<char>(random()));
            }
        }
        if (detail::DecodeArchive(mutated, &decoded) == S_OK) {
            EXPECT_EQ(detail::EncodeArchive(decoded), mutated);
        }
    }
    for (int round = 0; round < 2000; ++round) {
        std::string noise(random() % 64, '\0');
        for (char& c : noise) {
            c = static_cast<char>(random());
        }
        if (detail::DecodeArchive(noise, &decoded) == S_OK) {
            EXPECT_EQ(detail::EncodeArchive(decoded), noise);
        }
    }
}

class DamagedModuleFile : public ::testing::Test {
protected:
    std::string folder_ = vrtest::MakeFreshFolder("damaged");
    std::string path_ = folder_ + "/libdamaged.so";
    std::string image_ = std::string("\x7f"
                                     "ELF image bytes",
                                     16);

    HRESULT OpenWith(std::string_view bytes, vr::ModuleResources* resources) {
        vrtest::WriteBytes(path_, bytes);
        return vr::ModuleResources::Open(path_, resources);
    }
};

TEST_F(DamagedModuleFile, FilesWithoutArchiveHaveNoResources) {
    vr::ModuleResources resources;
    for (std::string_view bytes : {std::string_view(), std::string_view("short"), std::string_view(image_)}) {
        ASSERT_EQ(OpenWith(bytes, &resources), S_OK);
        EXPECT_FALSE(resources.HasArchive());
        const ResourceEntry* entry = nullptr;
        EXPECT_EQ(resources.Find(RT_HTML, u"Attributes.xml", &entry),
                  HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND));
        EXPECT_EQ(entry, nullptr);
    }
    // A real program without resources.
    ASSERT_EQ(vr::ModuleResources::Open("/proc/self/exe", &resources), S_OK);
    EXPECT_FALSE(resources.HasArchive());
}

TEST_F(DamagedModuleFile, EveryTruncationReadsAsNoArchiveOrDamage) {
    std::string whole = ModuleBytes(image_, detail::EncodeArchive(SampleEntries()));
    vr::ModuleResources resources;
    ASSERT_EQ(OpenWith(whole, &resources), S_OK);
    ASSERT_EQ(resources.Entries().size(), 4u);
    for (size_t length = 0; length < whole.size(); ++length) {
        HRESULT hr = OpenWith(std::string_view(whole).substr(0, length), &resources);
        EXPECT_TRUE(hr == kInvalidData || (hr == S_OK && !resources.HasArchive())) << length;
        EXPECT_TRUE(resources.Entries().empty()) << length;
    }
}

TEST_F(DamagedModuleFile, EveryFlippedByteIsNoticed) {
    std::string whole = ModuleBytes(image_, detail::EncodeArchive(SampleEntries()));
    vr::ModuleResources resources;
    for (size_t at = image_.size(); at < whole.size(); ++at) {
        std::string flipped = whole;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x20);
        HRESULT hr = OpenWith(flipped, &resources);
        // A flip in the magic makes it a file without resources; any other one is damage.
        bool inMagic = at >= whole.size() - sizeof(detail::kArchiveMagic);
        EXPECT_EQ(hr, inMagic ? S_OK : kInvalidData) << at;
        EXPECT_TRUE(resources.Entries().empty()) << at;
    }
}

TEST_F(DamagedModuleFile, TrailerThatPointsElsewhereIsDamage) {
    std::string archive = detail::EncodeArchive(SampleEntries());
    vr::ModuleResources resources;
    for (uint64_t offset :
         {uint64_t{0}, uint64_t{image_.size() - 1}, uint64_t{image_.size() + 1}, ~uint64_t{0}}) {
        std::string bytes = image_ + archive + detail::EncodeTrailer(archive, offset);
        EXPECT_EQ(OpenWith(bytes, &resources), kInvalidData) << offset;
    }
    // Sizes that do not fit the file or any archive, and an unknown format version, in an otherwise valid
    // trailer (size at byte 8, version at byte 20).
    auto patched = [&](size_t field, uint64_t value, int width) {
        std::string bytes = ModuleBytes(image_, archive);
        for (int i = 0; i < width; ++i) {
            bytes[bytes.size() - detail::kTrailerSize + field + i] = static_cast<char>(value >> (8 * i));
        }
        return bytes;
    };
    EXPECT_EQ(OpenWith(patched(8, archive.size() + image_.size() + 1, 8), &resources), kInvalidData);
    EXPECT_EQ(OpenWith(patched(8, detail::kMaxArchiveSize + 1, 8), &resources), kInvalidData);
    EXPECT_EQ(OpenWith(patched(8, ~uint64_t{0}, 8), &resources), kInvalidData);
    EXPECT_EQ(OpenWith(patched(20, 2, 4), &resources), kInvalidData);
    EXPECT_EQ(OpenWith(patched(20, 1, 4), &resources), S_OK);
}

TEST_F(DamagedModuleFile, OnlyRegularFilesAreRead) {
    vr::ModuleResources resources;
    EXPECT_EQ(vr::ModuleResources::Open(folder_, &resources), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(vr::ModuleResources::Open(folder_ + "/missing.so", &resources),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    // A FIFO without a writer would block a plain open for reading.
    std::string fifo = folder_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(vr::ModuleResources::Open(fifo, &resources), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
