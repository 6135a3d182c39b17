// CVrRigmont: the hardware manager object, keeper of the configuration store and factory of connections and
// sockets built from its records.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/xml/dom.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace rigmont {

// The values of one record as far as the store gives them; an empty optional is a value the store lacks.
struct RecordValues {
    std::optional<std::u16string> server;
    std::optional<std::u16string> resource;
    std::optional<std::u16string> setup;
};

// What tells one version of the store file from another: a save by rename changes the inode, an edit in
// place the size or the times (nanoseconds).
struct StoreFileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static StoreFileStamp Of(const std::string& path);
    bool operator==(const StoreFileStamp& other) const;
};

// What tells a connection from a socket when one is built from its record (Providers.cpp).
struct ProviderKind;

// Threads: one object serves every client of the server process, and all its calls arrive on the server's one
// apartment thread, one at a time; it takes no locks. Reference counts are atomic, as for every object.
class CVrRigmont : public vr::ObjectRoot,
                   public vr::CoClass<CVrRigmont>,
                   public vr::DispatchImpl<CVrRigmont, IVrRigmont>,
                   public vr::SupportErrorInfoImpl<IVrRigmont> {
public:
    using Interfaces = vr::InterfaceList<IVrRigmont, IDispatch, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;
    // The server's life follows the references its clients hold (counted by the process), not the life of
    // its one shared manager object, which the class object keeps.
    static constexpr bool kLocksModule = false;

    static const vr::DispatchTable<CVrRigmont>& GetDispatchTable();

    // Reads the configuration store path from the configuration item `ConfigStoreFile`.
    CVrRigmont();
    void FinalRelease();

    HRESULT CreateConnection(BSTR bsResource, VARIANT vbsSetupString, IVrConnection** ppConnection) override;
    HRESULT CreateSocket(BSTR bsResource, VARIANT vbsSetupString, IVrSocket** ppSocket) override;
    HRESULT LoadRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsSupplementarySetupString, BSTR* pbsServer,
                       BSTR* pbsResource, BSTR* pbsSetupString) override;
    HRESULT SaveRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsServer, BSTR bsResource,
                       BSTR bsSetupString) override;
    HRESULT RemoveRecord(BSTR bsRecordType, BSTR bsRecordName) override;
    HRESULT GetRecordNames(BSTR bsRecordType, VARIANT* pvNames) override;
    HRESULT FindResources(BSTR bsServer, BSTR bsResourceType, VARIANT* pvResources) override;

    const std::u16string& StorePath() const { return storePath_; }

private:
    // The work of the methods; each traces its failure with its message, the method reports it.
    HRESULT LoadStore();
    HRESULT TraceSaveFailure(HRESULT saved, int error);
    HRESULT QueryRecord(std::u16string_view type, std::u16string_view name, RecordValues* values,
                        bool* found);
    HRESULT MergeRecord(std::u16string_view type, std::u16string_view name, std::u16string_view supplementary,
                        RecordValues* values);
    HRESULT WriteRecord(std::u16string_view type, std::u16string_view name, BSTR server, BSTR resource,
                        BSTR setup);
    HRESULT BuildRecord(std::u16string_view type, std::u16string_view name, BSTR server, BSTR resource,
                        BSTR setup, vr::xml::Node* record);
    HRESULT CollectRecordNames(std::u16string_view type, VARIANT* names);
    // The opening of both builds: the caller's supplement, the trace line of the arguments, the record of the
    // kind merged over its defaults into values, and a new provider of the record's server.
    template <class I>
    HRESULT OpenProvider(const ProviderKind& kind, std::u16string_view resource, const VARIANT& setupArgument,
                         RecordValues* values, vr::ComPtr<I>* provider);
    HRESULT BuildConnection(std::u16string_view resource, const VARIANT& setupArgument,
                            IVrConnection** connection);
    HRESULT BuildSocket(std::u16string_view resource, const VARIANT& setupArgument, IVrSocket** socket);
    HRESULT ListResources(BSTR server, BSTR resourceType, VARIANT* resources);

    std::u16string storePath_;
    // Both on the apartment thread only. The document is empty until a record operation loads the file, and
    // is loaded again whenever the file no longer matches the stamp it was read with (another program or a
    // hand changed it), so reads see their records and a save keeps them.
    vr::xml::Document store_;
    StoreFileStamp storeStamp_;
};

} // namespace rigmont
