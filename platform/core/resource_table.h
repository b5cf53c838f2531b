// The table tessark-rc generates and the resource functions read. Generated sources include
// this header and define `tessark_program_resources`; a program without a script gets the
// empty default.
#pragma once

namespace platform::resource {

struct Entry {
    const char16_t* typeName; // upper case; null for a numeric type
    unsigned typeId;
    const char16_t* name; // upper case; null for a numeric name
    unsigned nameId;
    const unsigned char* data;
    unsigned size;
    // String-table blocks: bit i is set when string i of the block is defined, even if empty.
    unsigned short present;
};

struct Table {
    const Entry* entries;
    unsigned count;
};

} // namespace platform::resource

extern "C" const platform::resource::Table tessark_program_resources;
