// 16-bit NE modules made byte by byte: a DOS header, an NE header, the
// resource table and the resources at the alignment the shift gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo::test {

// An integer type (the PE number: 3, 14, ...) or a type name, an integer
// name or a name, and the bytes; `copies` records, numbered from `number`
// on, that all lie at the same bytes.
struct NeResource {
    uint16_t type = 0;
    std::string typeName;
    uint16_t number = 0;
    std::string name;
    std::vector<uint8_t> bytes;
    int copies = 1;
};

// The resources of one type given together. Lengths count units of
// 1 << shift, or bytes whatever the shift (as some icon editors wrote them).
std::vector<uint8_t> MakeNeModule(const std::vector<NeResource> &resources, uint16_t shift, bool lengthsInBytes);

} // namespace vexillo::test
