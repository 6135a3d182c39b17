// Type libraries: building one, saving and loading it back unchanged, what readers see, builder refusals,
// damaged files, a file saved by an earlier build, module resources, registration and the standard library.
#include "platform/com/tests/dispatch_probe.h"
#include "platform/com/tests/typelib_build.h"

#include "platform/base/text.h"
#include "platform/com/typelib_format.h"
#include "platform/registry/registry.h"
#include "platform/resources/archive.h"
#include "platform/resources/resource_update.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace vrtest {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

HRESULT Load(const std::string& path, vr::ComPtr<ITypeLib>* lib) {
    return LoadTypeLib(vr::FromUtf8(path).c_str(), lib->Put());
}

class TypeLibTest : public testing::Test {
protected:
    void SetUp() override { folder_ = MakeFreshFolder("typelib"); }
    std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }

    // The device library's dispatch interface, loaded back from a saved file.
    vr::ComPtr<ITypeInfo> LoadedInterface() {
        std::string path = PathOf("dmm.tlb");
        EXPECT_EQ(SaveDeviceLibrary(path), S_OK);
        vr::ComPtr<ITypeLib> lib;
        EXPECT_EQ(Load(path, &lib), S_OK);
        vr::ComPtr<ITypeInfo> info;
        EXPECT_EQ(lib->GetTypeInfoOfGuid(kDeviceIid, info.Put()), S_OK);
        return info;
    }

    std::string folder_;
};

TEST_F(TypeLibTest, SavedLibraryLoadsBackAsBuilt) {
    std::string path = PathOf("dmm.tlb");
    vr::ComPtr<ICreateTypeLib> built;
    ASSERT_EQ(BuildDeviceLibrary(path, 1, 0, &built), S_OK);
    vr::ComPtr<ITypeLib> builtView;
    ASSERT_EQ(built.As(&builtView), S_OK);
    std::string before = DescribeLibrary(builtView.Get());
    ASSERT_EQ(built->SaveAllChanges(), S_OK);

    vr::ComPtr<ITypeLib> loaded;
    ASSERT_EQ(Load(path, &loaded), S_OK);
    EXPECT_EQ(DescribeLibrary(loaded.Get()), before);
    // The description covers what the studio writes, references followed into the standard library.
    EXPECT_NE(before.find("library VrDeviceDmm / Vornic Device Dmm 1.0 Type Library"), std::string::npos);
    EXPECT_NE(before.find("implements IDispatch flags0"), std::string::npos) << before;
    EXPECT_NE(before.find("implements IVrSocketDmmAdapter flags1"), std::string::npos) << before;
    EXPECT_NE(before.find("default vt8='\n'"), std::string::npos) << before;
    EXPECT_NE(before.find("default vt3=2000"), std::string::npos) << before;
    EXPECT_NE(before.find("param 26(12) flags3"), std::string::npos) << before; // VARIANT* in/out
    EXPECT_NE(before.find("const RangeAuto vt3=-1"), std::string::npos) << before;
}

TEST_F(TypeLibTest, LoadedTypesAnswerReadersQuestions) {
    vr::ComPtr<ITypeInfo> info = LoadedInterface();
    ASSERT_TRUE(info);

    OLECHAR member[] = u"querystring";
    OLECHAR timeout[] = u"NTIMEOUT";
    LPOLESTR names[] = {member, timeout};
    MEMBERID ids[2] = {};
    EXPECT_EQ(info->GetIDsOfNames(names, 2, ids), S_OK);
    EXPECT_EQ(ids[0], kQueryStringId);
    EXPECT_EQ(ids[1], 2);
    OLECHAR unknown[] = u"Nope";
    names[1] = unknown;
    EXPECT_EQ(info->GetIDsOfNames(names, 2, ids), DISP_E_UNKNOWNNAME);

    // A property put keeps its value unnamed.
    BSTR got[4] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(kVoltId, got, 4, &count), S_OK);
    EXPECT_EQ(count, 2u);
    for (UINT k = 0; k < count; ++k) {
        SysFreeString(got[k]);
    }

    BSTR doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(kConnectionId, nullptr, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(vr::BstrView(doc), u"connection"); // no help text: documented by its own name
    SysFreeString(doc);
    EXPECT_EQ(info->GetDocumentation(77, nullptr, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);

    vr::ComPtr<ITypeLib> lib;
    UINT index = 99;
    ASSERT_EQ(info->GetContainingTypeLib(lib.Put(), &index), S_OK);
    EXPECT_EQ(index, 0u);
    vr::ComPtr<ITypeInfo> again;
    ASSERT_EQ(lib->GetTypeInfo(index, again.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(again->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, kDeviceIid);
    EXPECT_EQ(attr->cFuncs, 4);
    again->ReleaseTypeAttr(attr);

    OLECHAR volt[] = u"VOLT";
    ITypeInfo* found[2] = {};
    MEMBERID foundIds[2] = {};
    USHORT wanted = 2;
    ASSERT_EQ(lib->FindName(volt, 0, found, foundIds, &wanted), S_OK);
    EXPECT_EQ(wanted, 2); // the get and the put
    EXPECT_EQ(foundIds[0], kVoltId);
    found[0]->Release();
    found[1]->Release();
    BOOL isName = FALSE;
    ASSERT_EQ(lib->IsName(volt, 0, &isName), S_OK);
    EXPECT_TRUE(isName);
    EXPECT_EQ(std::u16string_view(volt), u"Volt");
}

TEST_F(TypeLibTest, LoadedLibraryIsReadOnly) {
    vr::ComPtr<ITypeInfo> info = LoadedInterface();
    vr::ComPtr<ICreateTypeInfo> builder;
    EXPECT_EQ(info.As(&builder), E_NOINTERFACE);
    vr::ComPtr<ITypeLib> lib;
    ASSERT_EQ(info->GetContainingTypeLib(lib.Put(), nullptr), S_OK);
    vr::ComPtr<ICreateTypeLib> libBuilder;
    EXPECT_EQ(lib.As(&libBuilder), E_NOINTERFACE);
}

TEST_F(TypeLibTest, InvokeGoesThroughTheInstancesDispatch) {
    vr::ComPtr<ITypeInfo> info = LoadedInterface();
    vr::ComObjectPtr<CProbe> probe;
    ASSERT_EQ(vr::ComObject<CProbe>::Create(&probe), S_OK);
    IDispatch* dispatch = static_cast<IProbe*>(probe.Get());
    OLECHAR subtract[] = u"Subtract";
    LPOLESTR names[] = {subtract};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);

    VARIANT args[2] = {};
    args[0].vt = VT_I4; // reversed: b, then a
    args[0].lVal = 3;
    args[1].vt = VT_I4;
    args[1].lVal = 10;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result{};
    ASSERT_EQ(info->Invoke(dispatch, id, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 7);
}

TEST_F(TypeLibTest, LoadedTypeServesSeveralThreadsAtOnce) {
    vr::ComPtr<ITypeInfo> info = LoadedInterface();
    ASSERT_TRUE(info);
    std::atomic<int> failures{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            for (int round = 0; round < 500; ++round) {
                FUNCDESC* desc = nullptr;
                TYPEATTR* attr = nullptr;
                if (FAILED(info->GetFuncDesc(round % 4, &desc)) || FAILED(info->GetTypeAttr(&attr))) {
                    ++failures;
                    continue;
                }
                failures += attr->cFuncs == 4 ? 0 : 1;
                info->ReleaseTypeAttr(attr);
                info->ReleaseFuncDesc(desc);
            }
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(TypeLibTest, BuilderRefusesWhatCannotBeRight) {
    vr::ComPtr<ICreateTypeLib> lib;
    ASSERT_EQ(BuildDeviceLibrary(PathOf("bad.tlb"), 1, 0, &lib), S_OK);
    OLECHAR taken[] = u"ivrsocketdmmadapter";
    vr::ComPtr<ICreateTypeInfo> type;
    EXPECT_EQ(lib->CreateTypeInfo(taken, TKIND_DISPATCH, type.Put()), TYPE_E_NAMECONFLICT);

    OLECHAR name[] = u"IOther";
    ASSERT_EQ(lib->CreateTypeInfo(name, TKIND_DISPATCH, type.Put()), S_OK);
    FUNCDESC desc{};
    desc.memid = 1;
    desc.funckind = FUNC_DISPATCH;
    desc.invkind = INVOKE_FUNC;
    desc.elemdescFunc.tdesc.vt = VT_USERDEFINED;
    desc.elemdescFunc.tdesc.hreftype = 1234; // no such reference
    EXPECT_EQ(type->AddFuncDesc(0, &desc), E_INVALIDARG);
    desc.elemdescFunc.tdesc.vt = VT_PTR;
    desc.elemdescFunc.tdesc.lptdesc = nullptr;
    EXPECT_EQ(type->AddFuncDesc(0, &desc), E_INVALIDARG);

    // A default value the file cannot hold.
    ELEMDESC param{};
    PARAMDESCEX ex{sizeof(PARAMDESCEX), {}};
    ex.varDefaultValue.vt = VT_DISPATCH;
    param.tdesc.vt = VT_DISPATCH;
    param.paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FHASDEFAULT;
    param.paramdesc.pparamdescex = &ex;
    desc.elemdescFunc.tdesc.vt = VT_VOID;
    desc.cParams = 1;
    desc.lprgelemdescParam = &param;
    EXPECT_EQ(type->AddFuncDesc(0, &desc), DISP_E_BADVARTYPE);

    param.paramdesc.wParamFlags = PARAMFLAG_FIN;
    ASSERT_EQ(type->AddFuncDesc(0, &desc), S_OK);
    OLECHAR run[] = u"Run";
    OLECHAR arg[] = u"arg";
    LPOLESTR names[] = {run, arg};
    EXPECT_EQ(type->SetFuncAndParamNames(0, names, 1), E_INVALIDARG); // a method names every parameter
    EXPECT_EQ(type->LayOut(), E_INVALIDARG);                          // not named yet
    ASSERT_EQ(type->SetFuncAndParamNames(0, names, 2), S_OK);
    ASSERT_EQ(type->AddFuncDesc(1, &desc), S_OK); // the same member id again
    OLECHAR other[] = u"Walk";
    names[0] = other;
    ASSERT_EQ(type->SetFuncAndParamNames(1, names, 2), S_OK);
    EXPECT_EQ(type->LayOut(), TYPE_E_AMBIGUOUSNAME);
    desc.memid = 2;
    ASSERT_EQ(type->AddFuncDesc(2, &desc), S_OK);
    names[0] = run;
    EXPECT_EQ(type->SetFuncAndParamNames(2, names, 2), TYPE_E_AMBIGUOUSNAME); // "Run" is member 1's

    OLECHAR klass[] = u"CThing";
    vr::ComPtr<ICreateTypeInfo> coclass;
    ASSERT_EQ(lib->CreateTypeInfo(klass, TKIND_COCLASS, coclass.Put()), S_OK);
    EXPECT_EQ(coclass->AddFuncDesc(0, &desc), TYPE_E_WRONGTYPEKIND);
    EXPECT_EQ(coclass->AddImplType(0, 99), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(TypeLibTest, SavingAgainReplacesTheFile) {
    std::string path = PathOf("dmm.tlb");
    ASSERT_EQ(SaveDeviceLibrary(path, 1, 0), S_OK);
    std::string first = ReadFile(path);
    ASSERT_EQ(SaveDeviceLibrary(path, 1, 0), S_OK);
    EXPECT_EQ(ReadFile(path), first);
    ASSERT_EQ(SaveDeviceLibrary(path, 1, 5), S_OK);
    vr::ComPtr<ITypeLib> lib;
    ASSERT_EQ(Load(path, &lib), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->wMinorVerNum, 5);
    lib->ReleaseTLibAttr(attr);
    // No temporary files left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

TEST_F(TypeLibTest, DamagedFilesAreRefusedNeverRead) {
    std::string path = PathOf("dmm.tlb");
    ASSERT_EQ(SaveDeviceLibrary(path), S_OK);
    const std::string good = ReadFile(path);
    vr::ComPtr<ITypeLib> lib;

    // Every truncation, in memory; a few through files.
    for (size_t length = 0; length < good.size(); ++length) {
        vr::typelib::LibData read;
        HRESULT expected =
            length < sizeof(vr::typelib::kFileMagic) ? TYPE_E_CANTLOADLIBRARY : TYPE_E_INVDATAREAD;
        EXPECT_EQ(vr::typelib::DecodeLibrary(std::string_view(good).substr(0, length), &read), expected)
            << "truncated to " << length;
        if (length % 97 == 0) {
            WriteFile(path, good.substr(0, length));
            EXPECT_EQ(Load(path, &lib), expected) << "truncated to " << length;
        }
    }
    for (size_t at = sizeof(vr::typelib::kFileMagic); at < good.size(); ++at) {
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x5A);
        vr::typelib::LibData read;
        EXPECT_TRUE(FAILED(vr::typelib::DecodeLibrary(bad, &read))) << "byte " << at;
    }
    std::string newer = good;
    newer[8] = 2;
    WriteFile(path, newer);
    EXPECT_EQ(Load(path, &lib), TYPE_E_UNSUPFORMAT);
    // A huge file with the magic up front (sparse: no disk is spent) is refused, not read into memory.
    WriteFile(path, good.substr(0, 64));
    std::filesystem::resize_file(path, (uint64_t{64} << 20) + 1);
    EXPECT_EQ(Load(path, &lib), TYPE_E_INVDATAREAD);
    WriteFile(path, "plain text, not a library");
    EXPECT_EQ(Load(path, &lib), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(Load(PathOf("missing.tlb"), &lib), TYPE_E_CANTLOADLIBRARY);
}

TEST(TypeLibFormatTest, ChecksumIsNoExcuseForBadContent) {
    // Well-formed bytes with a correct checksum whose content does not hold together.
    vr::typelib::LibData data = vr::typelib::StdoleData();
    data.refs[0].index = 7; // a local type that is not there
    std::string bytes;
    ASSERT_EQ(vr::typelib::EncodeLibrary(data, &bytes), S_OK);
    vr::typelib::LibData read;
    EXPECT_EQ(vr::typelib::DecodeLibrary(bytes, &read), TYPE_E_INVDATAREAD);

    data = vr::typelib::StdoleData();
    data.types[1].funcs[0].params[0].type.chain = {VT_PTR}; // a pointer to nothing
    ASSERT_EQ(vr::typelib::EncodeLibrary(data, &bytes), S_OK);
    EXPECT_EQ(vr::typelib::DecodeLibrary(bytes, &read), TYPE_E_INVDATAREAD);

    // A type count far beyond what the bytes can hold is damage, not an allocation.
    data = vr::typelib::StdoleData();
    data.types.clear();
    ASSERT_EQ(vr::typelib::EncodeLibrary(data, &bytes), S_OK);
    bytes.replace(bytes.size() - 4, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    uint32_t crc = vr::resources_detail::Crc32(std::string_view(bytes).substr(vr::typelib::kHeaderSize));
    for (int k = 0; k < 4; ++k) {
        bytes[16 + k] = static_cast<char>(crc >> (8 * k));
    }
    EXPECT_EQ(vr::typelib::DecodeLibrary(bytes, &read), TYPE_E_INVDATAREAD);
}

TEST_F(TypeLibTest, LibrariesSavedByEarlierBuildsStillLoad) {
    // The stored checksums of files written before are what the reader computes now.
    std::string stored = std::string(VR_TYPELIB_SEEDS) + "/device.tlb";
    vr::ComPtr<ITypeLib> lib;
    ASSERT_EQ(Load(stored, &lib), S_OK);
    vr::ComPtr<ICreateTypeLib> built;
    ASSERT_EQ(BuildDeviceLibrary(PathOf("dmm.tlb"), 1, 0, &built), S_OK);
    vr::ComPtr<ITypeLib> builtView;
    ASSERT_EQ(built.As(&builtView), S_OK);
    EXPECT_EQ(DescribeLibrary(lib.Get()), DescribeLibrary(builtView.Get()));
    ASSERT_EQ(built->SaveAllChanges(), S_OK);
    EXPECT_EQ(ReadFile(PathOf("dmm.tlb")), ReadFile(stored));
}

TEST_F(TypeLibTest, BasesThatComeBackToTheTypeAreRefusedNotFollowed) {
    // The fuzzing campaign's files (the fuzz target's seeds too): an interface that is its own base, and two
    // interfaces that are each other's.
    vr::ComPtr<ITypeLib> lib;
    for (const char* name : {"self-base.tlb", "base-cycle.tlb"}) {
        EXPECT_EQ(Load(std::string(VR_TYPELIB_SEEDS) + "/" + name, &lib), TYPE_E_CIRCULARTYPE) << name;
    }
    // A chain of bases one type longer than readers follow; then its last type inheriting the one before.
    vr::typelib::LibData chain;
    for (UINT k = 0; k <= vr::typelib::kMaxInheritanceDepth; ++k) {
        chain.types.emplace_back().kind = TKIND_INTERFACE;
        if (k < vr::typelib::kMaxInheritanceDepth) {
            chain.types.back().implTypes.push_back({k, 0}); // reference k names type k + 1
            chain.refs.push_back({true, k + 1});
        }
    }
    std::string bytes;
    vr::typelib::LibData read;
    ASSERT_EQ(vr::typelib::EncodeLibrary(chain, &bytes), S_OK);
    EXPECT_EQ(vr::typelib::DecodeLibrary(bytes, &read), TYPE_E_INVDATAREAD);
    chain.types.back().implTypes.push_back({vr::typelib::kMaxInheritanceDepth - 2, 0});
    ASSERT_EQ(vr::typelib::EncodeLibrary(chain, &bytes), S_OK);
    EXPECT_EQ(vr::typelib::DecodeLibrary(bytes, &read), TYPE_E_CIRCULARTYPE);

    // A library being built takes the base; its readers and its saving stop at it.
    vr::ComPtr<ICreateTypeLib> built;
    ASSERT_EQ(CreateTypeLib(SYS_WIN64, vr::FromUtf8(PathOf("self.tlb")).c_str(), built.Put()), S_OK);
    OLECHAR name[] = u"ISelf";
    vr::ComPtr<ICreateTypeInfo> type;
    ASSERT_EQ(built->CreateTypeInfo(name, TKIND_INTERFACE, type.Put()), S_OK);
    vr::ComPtr<ITypeInfo> self;
    ASSERT_EQ(type.As(&self), S_OK);
    HREFTYPE ref = 0;
    ASSERT_EQ(type->AddRefTypeInfo(self.Get(), &ref), S_OK);
    ASSERT_EQ(type->AddImplType(0, ref), S_OK);
    TYPEATTR* attr = nullptr;
    EXPECT_EQ(self->GetTypeAttr(&attr), TYPE_E_CIRCULARTYPE);
    EXPECT_EQ(type->LayOut(), TYPE_E_CIRCULARTYPE);
    EXPECT_EQ(built->SaveAllChanges(), TYPE_E_CIRCULARTYPE);
}

TEST_F(TypeLibTest, ModuleCarriesItsLibraryAsResource) {
    std::string first = PathOf("first.tlb");
    std::string second = PathOf("second.tlb");
    ASSERT_EQ(SaveDeviceLibrary(first, 1, 0), S_OK);
    ASSERT_EQ(SaveDeviceLibrary(second, 2, 0), S_OK);
    std::string module = PathOf("libdevice.so");
    WriteFile(module, "an image the loader would read");
    vr::ResourceUpdateHandle update = nullptr;
    ASSERT_EQ(vr::BeginUpdateResource(module, false, &update), S_OK);
    for (auto [name, file] : {std::pair<WORD, std::string>{1, first}, {2, second}}) {
        std::string bytes = ReadFile(file);
        ASSERT_EQ(vr::UpdateResource(update, vr::ResourceId(u"TYPELIB"), vr::ResourceId(name), LANG_NEUTRAL,
                                     bytes.data(), static_cast<DWORD>(bytes.size())),
                  S_OK);
    }
    ASSERT_EQ(vr::EndUpdateResource(update, false), S_OK);

    auto majorOf = [](const std::u16string& path) -> int {
        vr::ComPtr<ITypeLib> lib;
        if (FAILED(LoadTypeLib(path.c_str(), lib.Put()))) {
            return -1;
        }
        TLIBATTR* attr = nullptr;
        EXPECT_EQ(lib->GetLibAttr(&attr), S_OK);
        int major = attr->wMajorVerNum;
        lib->ReleaseTLibAttr(attr);
        return major;
    };
    std::u16string path = vr::FromUtf8(module);
    EXPECT_EQ(majorOf(path), 1);
    EXPECT_EQ(majorOf(path + u"\\2"), 2);
    EXPECT_EQ(majorOf(path + u"\\3"), -1);
}

std::u16string DefaultText(const std::u16string& keyPath, const char16_t* value = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return u"<no key>";
    }
    OLECHAR data[512] = {};
    DWORD size = sizeof(data);
    DWORD type = 0;
    LONG status = RegQueryValueEx(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::u16string(data) : u"<no value>";
}

TEST_F(TypeLibTest, RegistrationWritesTheKeysLoadRegTypeLibReads) {
    std::string path10 = PathOf("dmm10.tlb");
    std::string path12 = PathOf("dmm12.tlb");
    ASSERT_EQ(SaveDeviceLibrary(path10, 1, 0), S_OK);
    ASSERT_EQ(SaveDeviceLibrary(path12, 1, 2), S_OK);
    for (const std::string& path : {path10, path12}) {
        vr::ComPtr<ITypeLib> lib;
        ASSERT_EQ(Load(path, &lib), S_OK);
        ASSERT_EQ(RegisterTypeLib(lib.Get(), vr::FromUtf8(path).c_str(), nullptr), S_OK);
    }
    std::u16string key = u"TypeLib\\" + vr::GuidToString(kDeviceLibId) + u"\\1.0";
    EXPECT_EQ(DefaultText(key), u"Vornic Device Dmm 1.0 Type Library");
    EXPECT_EQ(DefaultText(key, u"FLAGS"), u"0");
    EXPECT_EQ(DefaultText(key, u"HELPDIR"), vr::FromUtf8(folder_ + "/"));
    EXPECT_EQ(DefaultText(key + u"\\0\\win32"), vr::FromUtf8(path10));

    auto minorOf = [](WORD major, WORD minor) -> int {
        vr::ComPtr<ITypeLib> lib;
        if (FAILED(LoadRegTypeLib(kDeviceLibId, major, minor, 0x409, lib.Put()))) {
            return -1;
        }
        TLIBATTR* attr = nullptr;
        EXPECT_EQ(lib->GetLibAttr(&attr), S_OK);
        int found = attr->wMinorVerNum;
        lib->ReleaseTLibAttr(attr);
        return found;
    };
    EXPECT_EQ(minorOf(1, 0), 2); // the highest minor version of that major one
    EXPECT_EQ(minorOf(1, 3), -1);
    EXPECT_EQ(minorOf(2, 0), -1);

    ASSERT_EQ(UnRegisterTypeLib(kDeviceLibId, 1, 2, 0, SYS_WIN32), S_OK);
    EXPECT_EQ(minorOf(1, 0), 0);
    ASSERT_EQ(UnRegisterTypeLib(kDeviceLibId, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_EQ(DefaultText(u"TypeLib\\" + vr::GuidToString(kDeviceLibId)), u"<no key>");
    vr::ComPtr<ITypeLib> none;
    EXPECT_EQ(LoadRegTypeLib(kDeviceLibId, 1, 0, 0, none.Put()), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(TypeLibTest, ReferencesIntoRegisteredLibrariesResolveAfterLoading) {
    std::string basePath = PathOf("dmm.tlb");
    ASSERT_EQ(SaveDeviceLibrary(basePath), S_OK);
    vr::ComPtr<ITypeLib> base;
    ASSERT_EQ(Load(basePath, &base), S_OK);
    ASSERT_EQ(RegisterTypeLib(base.Get(), vr::FromUtf8(basePath).c_str(), nullptr), S_OK);
    vr::ComPtr<ITypeInfo> device;
    ASSERT_EQ(base->GetTypeInfoOfGuid(kDeviceIid, device.Put()), S_OK);

    std::string path = PathOf("user.tlb");
    vr::ComPtr<ICreateTypeLib> lib;
    ASSERT_EQ(CreateTypeLib(SYS_WIN64, vr::FromUtf8(path).c_str(), lib.Put()), S_OK);
    OLECHAR name[] = u"CUser";
    vr::ComPtr<ICreateTypeInfo> type;
    ASSERT_EQ(lib->CreateTypeInfo(name, TKIND_COCLASS, type.Put()), S_OK);
    HREFTYPE ref = 0;
    ASSERT_EQ(type->AddRefTypeInfo(device.Get(), &ref), S_OK);
    ASSERT_EQ(type->AddImplType(0, ref), S_OK);
    ASSERT_EQ(lib->SaveAllChanges(), S_OK);

    vr::ComPtr<ITypeLib> loaded;
    ASSERT_EQ(Load(path, &loaded), S_OK);
    vr::ComPtr<ITypeInfo> user;
    ASSERT_EQ(loaded->GetTypeInfo(0, user.Put()), S_OK);
    vr::ComPtr<ITypeInfo> target;
    ASSERT_EQ(user->GetRefTypeInfo(ref, target.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(target->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, kDeviceIid);
    target->ReleaseTypeAttr(attr);
    EXPECT_EQ(user->GetRefTypeInfo(ref + 1, target.Put()), TYPE_E_ELEMENTNOTFOUND);
}

TEST(StdoleTest, StandardLibraryHoldsIUnknownAndIDispatch) {
    for (const char16_t* file : {u"stdole32.tlb", u"STDOLE2.TLB"}) {
        vr::ComPtr<ITypeLib> lib;
        ASSERT_EQ(LoadTypeLib(file, lib.Put()), S_OK);
        ASSERT_EQ(lib->GetTypeInfoCount(), 2u);
        vr::ComPtr<ITypeInfo> dispatch;
        ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IDispatch, dispatch.Put()), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(dispatch->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
        EXPECT_EQ(attr->cFuncs, 4);
        EXPECT_EQ(attr->cbSizeVft, 7 * sizeof(void*)); // IUnknown's three, then its own four
        dispatch->ReleaseTypeAttr(attr);
    }
    vr::ComPtr<ITypeLib> registered;
    ASSERT_EQ(LoadRegTypeLib(LIBID_STDOLE, 2, 0, 0, registered.Put()), S_OK);
    vr::ComPtr<ITypeInfo> unknown;
    EXPECT_EQ(registered->GetTypeInfoOfGuid(IID_IUnknown, unknown.Put()), S_OK);
}

} // namespace
} // namespace vrtest
