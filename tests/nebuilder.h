// 16-bit NE modules made byte by byte for the tests: a DOS header, an NE
// header and a resource table, the resources after it at the alignment the
// shift gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo::test {

// A resource of an NE module: an integer type (the PE number: 3, 14, ...) or
// a type name, an integer name or a name, and its bytes.
struct NeResource {
    uint16_t type = 0;
    std::string typeName;
    uint16_t number = 0;
    std::string name;
    std::vector<uint8_t> bytes;
};

// The module: types in the order they first come, names in the order given.
// Each length is counted in units of 1 << shift, or with `lengthsInBytes` in
// bytes whatever the shift (as some icon editors wrote them).
std::vector<uint8_t> MakeNeModule(const std::vector<NeResource> &resources, uint16_t shift = 4,
                                  bool lengthsInBytes = false);

} // namespace vexillo::test
