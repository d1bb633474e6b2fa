#include "model/NWClient.h"

namespace trovalen {

namespace {
std::shared_ptr<TNWClient>& Current() {
    static std::shared_ptr<TNWClient> client;
    return client;
}
} // namespace

TNWClient* NWClient() {
    return Current().get();
}

void SetNWClient(std::shared_ptr<TNWClient> client) {
    Current() = std::move(client);
}

} // namespace trovalen
