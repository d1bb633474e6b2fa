// The simulated client, keeping count of the contexts and connections that are open, and of
// closes of connections it never opened by reference (the client's own path connections).
#pragma once

#include <set>

#include "backend/sim/SimClient.h"

namespace trovalen::test {

class TCountingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE NewContext(NWHandle& ctx) override {
        NWCCODE code = TSimClient::NewContext(ctx);
        if (code == NW_OK)
            Contexts.insert(ctx);
        return code;
    }
    NWCCODE CopyContext(NWHandle ctx, NWHandle& copy) override {
        NWCCODE code = TSimClient::CopyContext(ctx, copy);
        if (code == NW_OK)
            Contexts.insert(copy);
        return code;
    }
    NWCCODE FreeContext(NWHandle ctx) override {
        Contexts.erase(ctx);
        return TSimClient::FreeContext(ctx);
    }
    NWCCODE OpenConnByRef(uint32_t ref, uint32_t mode, uint32_t flags, NWHandle& conn) override {
        NWCCODE code = TSimClient::OpenConnByRef(ref, mode, flags, conn);
        if (code == NW_OK)
            Conns.insert(conn);
        return code;
    }
    NWCCODE CloseConn(NWHandle conn) override {
        if (Conns.erase(conn) == 0)
            ++ForeignCloses;
        return TSimClient::CloseConn(conn);
    }

    std::set<NWHandle> Contexts;
    std::set<NWHandle> Conns;
    int ForeignCloses = 0;
};

} // namespace trovalen::test
