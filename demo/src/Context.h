// What every route of the service shares: the options, the read-only catalogue, the account
// store, the token signer, the test hooks and the public origin written into addresses.
#pragma once

#include "AccountStore.h"
#include "Catalogue.h"
#include "Options.h"
#include "TestHooks.h"
#include "Tokens.h"

#include <memory>
#include <string>

namespace demo {

struct Context {
    Options options;
    Catalogue catalogue;
    std::unique_ptr<AccountStore> store;
    std::unique_ptr<TokenSigner> signer;
    TestHooks hooks;
    std::string origin;  // "http://127.0.0.1:PORT", no trailing slash
};

}  // namespace demo
