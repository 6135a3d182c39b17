// Helpers of the CSV tests: real files under the test's private data home, owned VARIANTs, arrays.
#pragma once

#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/variant.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <iterator>
#include <string>

namespace csvtest {

// A fresh folder under the data home for one test.
inline std::filesystem::path FreshFolder(const std::string& name) {
    std::filesystem::path folder = std::filesystem::path(vr::DataHome()) / "csv" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::u16string U16(const std::filesystem::path& path) {
    return vr::FromUtf8(path.string());
}

// An owned VARIANT.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    explicit Value(LONG number) : Value() {
        v.vt = VT_I4;
        v.lVal = number;
    }
    explicit Value(double number) : Value() {
        v.vt = VT_R8;
        v.dblVal = number;
    }
    explicit Value(std::u16string_view text) : Value() {
        v.vt = VT_BSTR;
        v.bstrVal = vr::AllocBstr(text);
    }
    Value(const Value& other) : Value() { EXPECT_EQ(VariantCopy(&v, &other.v), S_OK); }
    Value& operator=(const Value&) = delete;
    ~Value() { (void)VariantClear(&v); }

    static Value Missing() {
        Value missing;
        missing.v.vt = VT_ERROR;
        missing.v.scode = DISP_E_PARAMNOTFOUND;
        return missing;
    }
    // A one-dimensional VT_VARIANT array of the values, its lower bound as given.
    static Value Array(std::initializer_list<const Value*> items, LONG lowerBound = 0) {
        Value array;
        array.v.vt = VT_ARRAY | VT_VARIANT;
        array.v.parray = SafeArrayCreateVector(VT_VARIANT, lowerBound, static_cast<ULONG>(items.size()));
        LONG index = lowerBound;
        for (const Value* item : items) {
            EXPECT_EQ(SafeArrayPutElement(array.v.parray, &index, &item->v), S_OK);
            ++index;
        }
        return array;
    }
    std::u16string Text() const {
        return v.vt == VT_BSTR ? std::u16string(vr::BstrView(v.bstrVal)) : u"<not text>";
    }
};

} // namespace csvtest
