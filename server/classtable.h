#pragma once

namespace kw {

// Registers Functions in the class table of a host without a COM registry.
void registerFunctionsClass();

}  // namespace kw
