// A "rapi.dll" exporting every entry but the last one of the table; a connection must refuse it.
#include "platform/rapi.h"

template <class... T>
void Ignore(const T&...) {}

#define INCOMPLETE_ENTRY(kind, ret, name, params, args, fail)                                      \
    extern "C" ret name params {                                                                   \
        Ignore args;                                                                               \
        return fail;                                                                               \
    }
#define CeOidGetInfoEx CeOidGetInfoEx_left_out
TESSARK_RAPI_ENTRIES(INCOMPLETE_ENTRY)
