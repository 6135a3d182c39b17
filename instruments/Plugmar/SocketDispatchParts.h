// The three IDispatch implementations of a socket. ISocket, IVrSocketProcessor and the attribute filter each
// derive from IDispatch on their own; each part overrides its own copy, so the class can answer each
// interface's dispatch differently: ISocket dynamically, the other two from their dispatch tables.
#pragma once

#include "platform/com/dispatch_table.h"
#include "plugmar.h"

namespace plugmar {

template <class T>
class SocketDispatchPart : public ISocket {
public:
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return static_cast<T*>(this)->SocketGetTypeInfo(index, lcid, info);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return static_cast<T*>(this)->SocketGetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override {
        return static_cast<T*>(this)->SocketInvoke(id, riid, lcid, flags, params, result, excep, argError);
    }

protected:
    ~SocketDispatchPart() = default;
};

// IDispatch of Interface from the table T::*Table names.
template <class T, class Interface, const vr::DispatchTable<T>& (*Table)()>
class TableDispatchPart : public Interface {
public:
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        return Table().GetTypeInfo(index, vr::uuidof<Interface>(), true, info);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return Table().GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override {
        return Table().Invoke(static_cast<T*>(this), id, riid, lcid, flags, params, result, excep, argError);
    }

protected:
    ~TableDispatchPart() = default;
};

template <class T>
const vr::DispatchTable<T>& ProcessorTableOf() {
    return T::ProcessorTable();
}
template <class T>
const vr::DispatchTable<T>& FilterTableOf() {
    return T::FilterTable();
}

template <class T>
using ProcessorDispatchPart = TableDispatchPart<T, IVrSocketProcessor, &ProcessorTableOf<T>>;
template <class T>
using FilterDispatchPart = TableDispatchPart<T, IVrAttributeCollectionFilter, &FilterTableOf<T>>;

} // namespace plugmar
