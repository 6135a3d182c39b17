// CLogFile: the log-file object that records named text fields into an XML file and reads them back.
#pragma once

#include "LogText.h"
#include "jotwell.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/xml/dom.h"

#include <map>
#include <random>
#include <string>
#include <vector>

namespace jotwell {

// Threads: apartment-threaded; every call comes on the creating thread, nothing is locked.
class CLogFile : public vr::ObjectRoot,
                 public vr::CoClass<CLogFile>,
                 public vr::DispatchImpl<CLogFile, IVrLogFile>,
                 public vr::SupportErrorInfoImpl<IVrLogFile> {
public:
    using Interfaces = vr::InterfaceList<IVrLogFile, IDispatch, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CLogFile>& GetDispatchTable();

    HRESULT FinalConstruct();
    void FinalRelease();
    // IVrAttributeCollection is answered by the attribute collection, so the object can stand for it.
    HRESULT QueryUnlistedInterface(REFIID riid, void** ppv);

    HRESULT get_file(BSTR* pVal) override;
    HRESULT put_file(BSTR newVal) override;
    HRESULT get_rootElement(BSTR* pVal) override;
    HRESULT put_rootElement(BSTR newVal) override;
    HRESULT get_writeMode(BSTR* pVal) override;
    HRESULT put_writeMode(BSTR newVal) override;
    HRESULT BeginRecord(BSTR bsRecordId) override;
    HRESULT EndRecord(BSTR bsRecordId) override;
    HRESULT SaveField(BSTR bsRecordId, BSTR bsFieldId, BSTR bsData) override;
    HRESULT Flush(VARIANT varboolNotClose) override;
    HRESULT ReadField(BSTR bsRecordId, BSTR bsFieldIdDataQuery, BSTR bsReadFieldId,
                      BSTR* pbsReadData) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppVal) override;
    HRESULT get_readMode(BSTR* pVal) override;
    HRESULT put_readMode(BSTR newVal) override;

private:
    // The work of the methods; each traces its failure, the method adds the rich error information.
    HRESULT OpenRecord(const std::u16string& id);
    HRESULT WriteRecord(const std::u16string& id);
    HRESULT EndAllRecords();
    HRESULT CloseFile();
    HRESULT WriteText(const std::string& bytes);
    HRESULT OpenFile();
    HRESULT PositionForAppend();
    HRESULT WriteAll(const std::string& bytes);
    HRESULT SetSetting(const OLECHAR* name, BSTR value);
    HRESULT LoadDocument();
    // After a failed load (failure) of a file that a stopped recorder left without its close tag: loads its
    // complete records into document instead; false for any other file.
    bool LoadCompleteRecords(vr::xml::Document& document, const vr::xml::ParseError& failure);
    HRESULT SelectRecord(const std::u16string& path, vr::xml::Node* record);
    bool WriteModeIs(std::u16string_view mode) const;
    std::u16string FilePath() const;
    std::u16string RootElement() const;

    // Linked to the collection's attributes: the collection writes them, this object reads them.
    BSTR file_ = nullptr;
    BSTR rootElement_ = nullptr;
    BSTR writeMode_ = nullptr;
    BSTR readMode_ = nullptr;
    vr::ComPtr<IVrAttributeCollection> collection_;

    int fd_ = -1;
    std::map<std::u16string, std::vector<Field>> records_;
    vr::xml::Document document_;
    std::minstd_rand random_{std::random_device{}()};
};

} // namespace jotwell
