// Client handles held for a scope: a context (new or copied), a client buffer or an open
// connection is released by its holder's destructor, so that no early return and no exception
// leaves one behind. A holder can be moved (into a list, into a member) and released early.
#pragma once

#include <string>
#include <utility>

#include "model/NWClient.h"

namespace trovalen {

class THeldHandle {
public:
    using TRelease = NWCCODE (TNWClient::*)(NWHandle);

    THeldHandle() = default;
    THeldHandle(TNWClient* client, TRelease release) : FClient(client), FRelease(release) {}
    THeldHandle(const THeldHandle&) = delete;
    THeldHandle& operator=(const THeldHandle&) = delete;
    THeldHandle(THeldHandle&& other) noexcept { Take(other); }
    THeldHandle& operator=(THeldHandle&& other) noexcept {
        if (this != &other) {
            Free();
            Take(other);
        }
        return *this;
    }
    ~THeldHandle() { Free(); }

    // Releases the handle now; the holder then holds nothing.
    void Free() {
        if (Held && FClient != nullptr && FRelease != nullptr)
            (FClient->*FRelease)(Handle);
        Held = false;
    }

    NWHandle Handle = 0;
    NWCCODE Code = NW_OK; // what the client answered when the handle was asked for
    bool Held = false;

protected:
    // Records the client's answer; the handle is held only when the client gave one. Without a
    // client there is nothing to hold.
    void Hold(NWCCODE code) {
        Code = FClient == nullptr ? ERR_CLIENT_NOT_STARTED : code;
        Held = Code == NW_OK;
    }
    TNWClient* Client() const { return FClient; }

private:
    void Take(THeldHandle& other) {
        FClient = other.FClient;
        FRelease = other.FRelease;
        Handle = other.Handle;
        Code = other.Code;
        Held = std::exchange(other.Held, false);
    }

    TNWClient* FClient = nullptr;
    TRelease FRelease = nullptr;
};

// A new context of the client.
struct TNewContext : THeldHandle {
    TNewContext() = default;
    explicit TNewContext(TNWClient* client) : THeldHandle(client, &TNWClient::FreeContext) {
        Hold(client != nullptr ? client->NewContext(Handle) : ERR_CLIENT_NOT_STARTED);
    }
};

// A copy of a context, with the original's keys.
struct TContextCopy : THeldHandle {
    TContextCopy() = default;
    TContextCopy(TNWClient* client, NWHandle ctx) : THeldHandle(client, &TNWClient::FreeContext) {
        Hold(client != nullptr ? client->CopyContext(ctx, Handle) : ERR_CLIENT_NOT_STARTED);
    }
};

// A request or result buffer.
struct TClientBuf : THeldHandle {
    TClientBuf() = default;
    TClientBuf(TNWClient* client, uint32_t size) : THeldHandle(client, &TNWClient::FreeBuf) {
        Hold(client != nullptr ? client->AllocBuf(size, Handle) : ERR_CLIENT_NOT_STARTED);
    }
};

// A search filter being built. The client takes the filter over when it is put into a buffer
// (PutFilter), even when that fails: Disown() then lets go of it without freeing it.
struct TClientFilter : THeldHandle {
    TClientFilter() = default;
    TClientFilter(TNWClient* client, NWHandle ctx) : THeldHandle(client, &TNWClient::FreeFilter) {
        Hold(client != nullptr ? client->NewFilter(ctx, Handle) : ERR_CLIENT_NOT_STARTED);
    }
    void Disown() { Held = false; }
};

// An attribute's value opened as a stream for reading.
struct TAttrStream : THeldHandle {
    TAttrStream(TNWClient* client, NWHandle ctx, const std::string& object, const std::string& attr)
        : THeldHandle(client, &TNWClient::CloseStream) {
        Hold(client != nullptr ? client->OpenAttrStream(ctx, object, attr, 1, Handle)
                               : ERR_CLIENT_NOT_STARTED);
    }
};

// A connection opened by its reference. NO_CONNECTION while none is held.
struct TOpenConn : THeldHandle {
    static constexpr uint32_t kOpenMode = 1; // the client's ordinary open mode
    TOpenConn() { Handle = NO_CONNECTION; }
    TOpenConn(TNWClient* client, uint32_t ref) : THeldHandle(client, &TNWClient::CloseConn) {
        Handle = NO_CONNECTION;
        NWHandle conn = NO_CONNECTION;
        Hold(client != nullptr ? client->OpenConnByRef(ref, kOpenMode, 0, conn)
                               : ERR_CLIENT_NOT_STARTED);
        if (Held)
            Handle = conn;
    }
};

} // namespace trovalen
