// Diagnostic texts: HRESULT texts by facility, VARTYPE and schema type names, bounded formatting.
#include "common/trace/Trace.h"
#include "tests/support/com_holders.h"

#include "platform/base/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vrtest::Adopt;
using vrtest::U8;

TEST(TraceText, HResultTextByFacility) {
    EXPECT_EQ(U8(HResultText(0x80040154)), "(HRESULT: 0x80040154) Class not registered");
    EXPECT_EQ(U8(HResultText(0x800A004C)), "(HRESULT: 0x800A004C) Path not found");
    EXPECT_EQ(U8(HResultText(0x80004005)), "(HRESULT: 0x80004005) Unknown error code\n");
    EXPECT_EQ(U8(HResultText(0x80040155)), "(HRESULT: 0x80040155) ");
    EXPECT_EQ(U8(HResultText(0x800A0001)), "(HRESULT: 0x800A0001) ");
    EXPECT_EQ(U8(HResultText(DISP_E_UNKNOWNNAME)), "(HRESULT: 0x80020006) Unknown name.");
    // The facility has 13 bits: bit 29 lies above it, bit 28 inside it.
    EXPECT_EQ(U8(HResultText(static_cast<HRESULT>(0xA0040154u))),
              "(HRESULT: 0xA0040154) Class not registered");
    EXPECT_EQ(U8(HResultText(static_cast<HRESULT>(0x90040154u))),
              "(HRESULT: 0x90040154) Unknown error code\n");
    EXPECT_EQ(U8(HResultText(0)), "(HRESULT: 0x00000000) Unknown error code\n");
}

TEST(TraceText, Win32TextsKeepTheirLineBreak) {
    std::string text = U8(HResultText(E_OUTOFMEMORY));
    EXPECT_EQ(text.rfind("(HRESULT: 0x8007000E) ", 0), 0u);
    std::string win32 = U8(Win32ErrorText(0x8007000E));
    EXPECT_FALSE(win32.empty());
    EXPECT_EQ(text, "(HRESULT: 0x8007000E) " + win32);
    EXPECT_EQ(win32.back(), '\n');
    EXPECT_EQ(U8(Win32ErrorText(0xFFFF)), "") << "a code the table lacks has no text";
}

TEST(TraceText, FacilityTables) {
    EXPECT_EQ(U8(ItfErrorText(0x0154)), "Class not registered");
    EXPECT_EQ(U8(ItfErrorText(0x80040154)), "Class not registered") << "the low 16 bits count";
    EXPECT_EQ(U8(ItfErrorText(0x0155)), "");
    EXPECT_EQ(U8(ControlErrorText(0x004C)), "Path not found");
    EXPECT_EQ(U8(ControlErrorText(0x0154)), "");
}

TEST(TraceText, VarTypeNames) {
    EXPECT_EQ(U8(VarTypeName(0x600C)), "VT_VARIANT | VT_ARRAY | VT_BYREF");
    EXPECT_EQ(U8(VarTypeName(37)), "Unknown VARTYPE = 37");
    // The edges of the named ranges 0-14, 16-31, 36, 64-72 and 0x0FFF.
    for (VARTYPE unnamed : {15, 32, 35, 63, 73, 0x0FFE}) {
        EXPECT_EQ(U8(VarTypeName(unnamed)), "Unknown VARTYPE = " + std::to_string(unnamed));
    }
    EXPECT_EQ(U8(VarTypeName(VT_DECIMAL)), "VT_DECIMAL");
    EXPECT_EQ(U8(VarTypeName(VT_I1)), "VT_I1");
    EXPECT_EQ(U8(VarTypeName(VT_LPWSTR)), "VT_LPWSTR");
    EXPECT_EQ(U8(VarTypeName(VT_RECORD)), "VT_RECORD");
    EXPECT_EQ(U8(VarTypeName(VT_FILETIME)), "VT_FILETIME");
    EXPECT_EQ(U8(VarTypeName(VT_CLSID)), "VT_CLSID");
    EXPECT_EQ(U8(VarTypeName(VT_BSTR_BLOB)), "VT_BSTR_BLOB");
    EXPECT_EQ(U8(VarTypeName(0xF0FE)),
              "Unknown VARTYPE = 254 | VT_VECTOR | VT_ARRAY | VT_BYREF | VT_RESERVED");
}

TEST(TraceText, SchemaTypeNames) {
    EXPECT_EQ(U8(SomItemTypeName(SOMITEM_DATATYPE_STRING)), "SD_STRING");
    EXPECT_EQ(U8(SomItemTypeName(SOMITEM_DATATYPE_UNSIGNEDSHORT)), "SD_UNSIGNEDSHORT");
    EXPECT_EQ(U8(SomItemTypeName(SOMITEM_DATATYPE_ANYSIMPLETYPE)), "SD_ANYSIMPLETYPE");
    EXPECT_EQ(U8(SomItemTypeName(SOMITEM_NULL)), "S_NULL");
    EXPECT_EQ(U8(SomItemTypeName(SOMITEM_ANYTYPE)), "SOMITEM_ANYTYPE (built-in complex any type)");
    EXPECT_EQ(U8(SomItemTypeName(SOMITEM_DATATYPE)), "SOMITEM_DATATYPE");
    EXPECT_EQ(U8(SomItemTypeName(static_cast<SOMITEMTYPE>(0x212E))), "Unknown SOMITEMTYPE = 8494");
    EXPECT_EQ(U8(SchemaContentTypeName(SCHEMACONTENTTYPE_EMPTY)), "");
    EXPECT_EQ(U8(SchemaContentTypeName(SCHEMACONTENTTYPE_MIXED)), "SCHEMACONTENTTYPE_MIXED");
    EXPECT_EQ(U8(SchemaContentTypeName(static_cast<SCHEMACONTENTTYPE>(4))), "Unknown SCHEMACONTENTTYPE = 4");

    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SomTypeToVarType(SOMITEM_DATATYPE_UNSIGNEDLONG, &vt), S_OK);
    EXPECT_EQ(vt, VT_UI4);
    EXPECT_EQ(SomTypeToVarType(SOMITEM_DATATYPE_DECIMAL, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR) << "decimals are held as text";
}

TEST(TraceText, FormatBstrCutsAtItsBuffer) {
    std::u16string fits(9999, u'x');
    EXPECT_EQ(Adopt(FormatBstr(u"%s", fits.c_str())).str(), fits);
    std::u16string full(10000, u'x');
    std::u16string cut = Adopt(FormatBstr(u"%s", full.c_str())).str();
    EXPECT_EQ(cut.size(), 9999u);
    EXPECT_EQ(cut.substr(9996), u"...");
    EXPECT_EQ(cut.substr(0, 9996), full.substr(0, 9996));
    EXPECT_EQ(Adopt(FormatBstr(u"%d%% of %hs", 50, "runs")).utf8(), "50% of runs");
}

// What a line leaves behind never shows in a later one, whatever its size, and a rejected format gives the
// output before it, as from a fresh buffer.
TEST(TraceText, LinesOfOneThreadLeaveNothingBehind) {
    std::u16string longest(9999, u'x');
    EXPECT_EQ(Adopt(FormatBstr(u"%s", longest.c_str())).str(), longest);
    EXPECT_EQ(Adopt(FormatBstr(u"ab%q")).str(), u"ab") << "after a line that filled the buffer";
    std::u16string overflowing(12000, u'y');
    EXPECT_EQ(Adopt(FormatBstr(u"%s", overflowing.c_str())).str(), std::u16string(9996, u'y') + u"...");
    EXPECT_EQ(Adopt(FormatBstr(u"cd%q")).str(), u"cd") << "after a line that was cut";
    std::u16string exact(10000, u'z');
    EXPECT_EQ(Adopt(FormatBstr(u"%s", exact.c_str())).str(), std::u16string(9996, u'z') + u"...");
    EXPECT_EQ(Adopt(FormatBstr(u"%d%q", 42)).str(), u"42") << "after a text that fitted without terminator";
    EXPECT_EQ(Adopt(FormatBstr(u"short")).str(), u"short");
    EXPECT_EQ(Adopt(FormatBstr(u"%q")).str(), u"");
}

TEST(TraceText, LinesOfOtherBufferSizesLeaveNothingBehind) {
    std::u16string longest(9999, u'x');
    EXPECT_EQ(Adopt(FormatBstr(u"%s", longest.c_str())).str(), longest);
    std::u16string message(6000, u'n');
    TraceError(u"%s", message.c_str()); // a smaller buffer: dropped without a tracer, kept as the last error
    EXPECT_EQ(LastErrorText(), std::u16string(4996, u'n') + u"...");
    EXPECT_EQ(Adopt(FormatBstr(u"ef%q")).str(), u"ef");
    TraceError(u"gh%q");
    EXPECT_EQ(LastErrorText(), u"gh");
}

TEST(TraceText, RejectedFormatsAndZeroCharacters) {
    std::u16string prefix(10000, u'p');
    EXPECT_EQ(Adopt(FormatBstr(u"%s%q", prefix.c_str())).str(), std::u16string(9996, u'p') + u"...")
        << "output that reached the end before the rejected conversion is cut as an overflow";
    EXPECT_EQ(Adopt(FormatBstr(u"ab%ccd", 0)).str(), u"ab") << "a zero character ends the text";
    EXPECT_EQ(Adopt(FormatBstr(nullptr)).str(), u"");
}

// Short lines are formatted in a small buffer first, longer ones again in one of the whole limit: texts on
// either side of that size come out whole, and a rejected format past it still gives the output before it.
TEST(TraceText, LinesAroundTheShortBufferComeOutWhole) {
    for (size_t length : {510u, 511u, 512u, 513u, 2000u}) {
        std::u16string text(length, u'k');
        EXPECT_EQ(Adopt(FormatBstr(u"%s", text.c_str())).str(), text) << length;
        EXPECT_EQ(Adopt(FormatBstr(u"%s%d", text.c_str(), 7)).str(), text + u"7") << length;
    }
    std::u16string before(600, u'r');
    EXPECT_EQ(Adopt(FormatBstr(u"%s%q", before.c_str())).str(), before);
}

TEST(TraceText, HexDumpAndBack) {
    EXPECT_EQ(Adopt(HexDumpText(u"A\u0101")).utf8(), "41 101");
    EXPECT_EQ(Adopt(HexDumpText(u"\r\n\uFFFF")).utf8(), "0D 0A FFFF");
    EXPECT_TRUE(Adopt(HexDumpText(u"")).isNull());
    EXPECT_TRUE(Adopt(HexDumpText(nullptr)).isNull());
    EXPECT_EQ(Adopt(HexTextToBstr(u"41 42")).utf8(), "AB");
    EXPECT_EQ(Adopt(HexTextToBstr(u"  41   101 ")).str(), u"A\u0101");
    EXPECT_EQ(Adopt(HexTextToBstr(u"")).utf8(), "");
    std::u16string text = u"Line\r\n\tend \u20AC";
    vrtest::Bstr dump = Adopt(HexDumpText(text.c_str()));
    EXPECT_EQ(Adopt(HexTextToBstr(dump.get())).str(), text);
}

TEST(TraceText, HexDecodingSkipsWhatStartsNoNumber) {
    EXPECT_EQ(Adopt(HexTextToBstr(u"41 zz 42")).utf8(), "AB");
    EXPECT_EQ(Adopt(HexTextToBstr(u"41qq42")).utf8(), "AB");
    EXPECT_EQ(Adopt(HexTextToBstr(u"- 41 -")).utf8(), "A");
    EXPECT_EQ(Adopt(HexTextToBstr(u"%%%%")).utf8(), "");
    EXPECT_EQ(Adopt(HexTextToBstr(u"0x41 0X42")).utf8(), "AB");
}

} // namespace
