// Catalogue identifiers. Readers of the store take model_id apart with this
// same formula, so it is part of the store's contract.
#include "platform/platform.h"

long long make_long_long(int brand, int model)
{
    return static_cast<long long>((static_cast<uint64_t>(static_cast<uint32_t>(brand)) << 32) |
                                  static_cast<uint32_t>(model));
}
