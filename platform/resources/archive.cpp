// Encoding and checked decoding of the resource archive and its trailer.
#include "platform/resources/archive.h"

#include "platform/base/win32errors.h"

#include <optional>
#include <tuple>
#include <zlib.h>

namespace vr::resources_detail {
namespace {

constexpr uint8_t kNumberKind = 0;
constexpr uint8_t kNameKind = 1;

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

void PutLittleEndian(std::string* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void PutId(std::string* out, const ResourceId& id) {
    if (id.IsNumber()) {
        out->push_back(static_cast<char>(kNumberKind));
        PutLittleEndian(out, id.Number(), 2);
        return;
    }
    out->push_back(static_cast<char>(kNameKind));
    PutLittleEndian(out, id.Name().size(), 2);
    for (char16_t unit : id.Name()) {
        PutLittleEndian(out, unit, 2);
    }
}

// A cursor over untrusted bytes: every read is checked against what is left, and a failed read leaves the
// cursor failed so that callers test once per record.
class Cursor {
public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

    bool AtEnd() const { return pos_ == bytes_.size(); }

    std::optional<uint64_t> Number(int width) {
        if (static_cast<size_t>(width) > bytes_.size() - pos_) {
            return std::nullopt;
        }
        uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            value |= uint64_t{static_cast<uint8_t>(bytes_[pos_ + i])} << (8 * i);
        }
        pos_ += width;
        return value;
    }

    std::optional<std::string_view> Bytes(uint64_t count) {
        if (count > bytes_.size() - pos_) {
            return std::nullopt;
        }
        std::string_view piece = bytes_.substr(pos_, count);
        pos_ += count;
        return piece;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

std::optional<ResourceId> TakeId(Cursor* cursor) {
    std::optional<uint64_t> kind = cursor->Number(1);
    std::optional<uint64_t> value = cursor->Number(2);
    if (!kind || !value) {
        return std::nullopt;
    }
    if (*kind == kNumberKind) {
        return *value != 0 ? std::optional<ResourceId>(ResourceId(static_cast<WORD>(*value))) : std::nullopt;
    }
    if (*kind != kNameKind || *value == 0) {
        return std::nullopt;
    }
    std::optional<std::string_view> raw = cursor->Bytes(*value * 2);
    if (!raw) {
        return std::nullopt;
    }
    std::u16string name;
    for (size_t i = 0; i < raw->size(); i += 2) {
        name.push_back(static_cast<char16_t>(static_cast<uint8_t>((*raw)[i]) |
                                             (static_cast<uint8_t>((*raw)[i + 1]) << 8)));
    }
    // A name is stored exactly as the id keeps it; anything else ("#12", lower case) was not written by us.
    ResourceId id(name);
    if (id.IsNumber() || id.Name() != name) {
        return std::nullopt;
    }
    return id;
}

std::optional<ResourceEntry> TakeEntry(Cursor* cursor) {
    std::optional<ResourceId> type = TakeId(cursor);
    std::optional<ResourceId> name = type ? TakeId(cursor) : std::nullopt;
    std::optional<uint64_t> language = cursor->Number(2);
    std::optional<uint64_t> size = cursor->Number(4);
    if (!name || !language || !size) {
        return std::nullopt;
    }
    std::optional<std::string_view> data = cursor->Bytes(*size);
    if (!data) {
        return std::nullopt;
    }
    return ResourceEntry{std::move(*type), std::move(*name), static_cast<WORD>(*language),
                         std::string(*data)};
}

bool InOrder(const ResourceEntry& before, const ResourceEntry& after) {
    return std::tie(before.type, before.name, before.language) <
           std::tie(after.type, after.name, after.language);
}

} // namespace

uint32_t Crc32(std::string_view bytes) {
    // crc32_z, as crc32's length is an unsigned int; started from 0 it is the CRC-32 of these bytes alone.
    return static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

std::string EncodeArchive(const std::vector<ResourceEntry>& entries) {
    std::string out;
    PutLittleEndian(&out, entries.size(), 4);
    for (const ResourceEntry& entry : entries) {
        PutId(&out, entry.type);
        PutId(&out, entry.name);
        PutLittleEndian(&out, entry.language, 2);
        PutLittleEndian(&out, entry.data.size(), 4);
        out += entry.data;
    }
    return out;
}

std::string EncodeTrailer(std::string_view archive, uint64_t archiveOffset) {
    std::string out;
    PutLittleEndian(&out, archiveOffset, 8);
    PutLittleEndian(&out, archive.size(), 8);
    PutLittleEndian(&out, Crc32(archive), 4);
    PutLittleEndian(&out, kArchiveVersion, 4);
    out.append(kArchiveMagic, sizeof(kArchiveMagic));
    return out;
}

HRESULT DecodeArchive(std::string_view archive, std::vector<ResourceEntry>* entries) {
    entries->clear();
    Cursor cursor(archive);
    std::optional<uint64_t> count = cursor.Number(4);
    if (!count) {
        return kInvalidData;
    }
    // The count is not trusted for a reservation: the records themselves must be there, one by one.
    std::vector<ResourceEntry> decoded;
    for (uint64_t i = 0; i < *count; ++i) {
        std::optional<ResourceEntry> entry = TakeEntry(&cursor);
        if (!entry || (!decoded.empty() && !InOrder(decoded.back(), *entry))) {
            return kInvalidData;
        }
        decoded.push_back(std::move(*entry));
    }
    if (!cursor.AtEnd()) {
        return kInvalidData;
    }
    *entries = std::move(decoded);
    return S_OK;
}

} // namespace vr::resources_detail
