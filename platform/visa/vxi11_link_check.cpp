// create_link and destroy_link of the VXI-11 core channel (program 0x0607AF, version 1) over libtirpc.
#include "platform/visa/vxi11_link_check.h"

#include <rpc/rpc.h>

namespace vr::visa {

namespace {

constexpr rpcprog_t kDeviceCore = 0x0607AF;
constexpr rpcvers_t kDeviceCoreVersion = 1;
constexpr rpcproc_t kCreateLink = 10;
constexpr rpcproc_t kDestroyLink = 23;

struct CreateLinkParms {
    int32_t clientId;
    bool_t lockDevice;
    uint32_t lockTimeout;
    char* device;
};

struct CreateLinkResp {
    int32_t error;
    int32_t lid;
    u_short abortPort;
    uint32_t maxRecvSize;
};

bool_t XdrCreateLinkParms(XDR* xdrs, CreateLinkParms* p) {
    return xdr_int32_t(xdrs, &p->clientId) && xdr_bool(xdrs, &p->lockDevice) &&
           xdr_u_int32_t(xdrs, &p->lockTimeout) && xdr_string(xdrs, &p->device, ~0u);
}

bool_t XdrCreateLinkResp(XDR* xdrs, CreateLinkResp* p) {
    return xdr_int32_t(xdrs, &p->error) && xdr_int32_t(xdrs, &p->lid) && xdr_u_short(xdrs, &p->abortPort) &&
           xdr_u_int32_t(xdrs, &p->maxRecvSize);
}

HRESULT NotFound(Failure* failure, const std::string& reason) {
    failure->status = kErrorResourceNotFound;
    failure->message = reason;
    return kErrorResourceNotFound;
}

// The VXI-11 error codes a create_link may answer.
std::string LinkErrorText(int32_t error) {
    switch (error) {
    case 3:
        return "the instrument has no device of that name (VXI-11 error 3)";
    case 9:
        return "the instrument is out of links (VXI-11 error 9)";
    case 11:
        return "the device is locked by another link (VXI-11 error 11)";
    default:
        return "the instrument refused the link (VXI-11 error " + std::to_string(error) + ")";
    }
}

} // namespace

HRESULT CheckVxi11Device(const std::string& host, const std::string& device, int32_t timeoutMs,
                         Failure* failure) {
    const int32_t limitMs = timeoutMs < 0 ? 25000 : timeoutMs;
    timeval limit{limitMs / 1000, (limitMs % 1000) * 1000};
    CLIENT* client = clnt_create_timed(host.c_str(), kDeviceCore, kDeviceCoreVersion, "tcp", &limit);
    if (!client) {
        return NotFound(failure, "no VXI-11 server answers on " + host);
    }
    CreateLinkParms parms{0, FALSE, 0, const_cast<char*>(device.c_str())};
    CreateLinkResp resp{};
    clnt_stat status = clnt_call(
        client, kCreateLink, reinterpret_cast<xdrproc_t>(XdrCreateLinkParms), reinterpret_cast<char*>(&parms),
        reinterpret_cast<xdrproc_t>(XdrCreateLinkResp), reinterpret_cast<char*>(&resp), limit);
    HRESULT result = S_OK;
    if (status != RPC_SUCCESS) {
        result = NotFound(failure, "the VXI-11 server on " + host + " did not answer create_link");
    } else if (resp.error != 0) {
        result = NotFound(failure, LinkErrorText(resp.error));
    } else {
        int32_t error = 0;
        (void)clnt_call(client, kDestroyLink, reinterpret_cast<xdrproc_t>(xdr_int32_t),
                        reinterpret_cast<char*>(&resp.lid), reinterpret_cast<xdrproc_t>(xdr_int32_t),
                        reinterpret_cast<char*>(&error), limit);
    }
    clnt_destroy(client);
    return result;
}

} // namespace vr::visa
