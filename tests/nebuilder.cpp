#include "nebuilder.h"

#include "crafted.h"

namespace vexillo::test {

std::vector<uint8_t> MakeNeModule(const std::vector<NeResource> &resources, uint16_t shift, bool lengthsInBytes)
{
    auto sameType = [](const NeResource &a, const NeResource &b) {
        return a.type == b.type && a.typeName == b.typeName;
    };
    // The table: the shift, the records, type 0, then the names and a 0 byte.
    size_t namesAt = 4;
    for (size_t i = 0; i < resources.size(); ++i) {
        namesAt += 12 * static_cast<size_t>(resources[i].copies) +
                   (i == 0 || !sameType(resources[i - 1], resources[i]) ? 8 : 0);
    }
    std::vector<uint8_t> table, names, data;
    auto id = [&](const std::string &name, uint16_t number) {
        if (name.empty())
            return static_cast<uint16_t>(0x8000 | number);
        names.push_back(static_cast<uint8_t>(name.size()));
        names.insert(names.end(), name.begin(), name.end());
        return static_cast<uint16_t>(namesAt + names.size() - name.size() - 1);
    };
    const uint64_t unit = uint64_t{1} << shift;
    const uint64_t dataAt = (0x80 + namesAt + 64 * resources.size() + 1 + unit - 1) / unit * unit;
    PutU16(table, shift);
    for (size_t i = 0; i < resources.size(); ++i) {
        const NeResource &r = resources[i];
        if (i == 0 || !sameType(resources[i - 1], r)) {
            size_t count = 0;
            for (size_t k = i; k < resources.size() && sameType(resources[k], r); ++k)
                count += static_cast<size_t>(resources[k].copies);
            PutU16(table, id(r.typeName, r.type));
            PutU16(table, static_cast<uint16_t>(count));
            PutU32(table, 0);
        }
        const uint64_t units = (r.bytes.size() + unit - 1) / unit;
        const uint16_t name = r.name.empty() ? 0 : id(r.name, 0);
        for (int copy = 0; copy < r.copies; ++copy) {
            PutU16(table, static_cast<uint16_t>((dataAt + data.size()) / unit));
            PutU16(table, static_cast<uint16_t>(lengthsInBytes ? r.bytes.size() : units));
            PutU16(table, 0x1C30);
            PutU16(table, r.name.empty() ? static_cast<uint16_t>(0x8000 | (r.number + copy)) : name);
            PutU32(table, 0);
        }
        data.insert(data.end(), r.bytes.begin(), r.bytes.end());
        data.resize(data.size() + units * unit - r.bytes.size(), 0);
    }
    PutU16(table, 0);
    table.insert(table.end(), names.begin(), names.end());
    table.push_back(0);
    std::vector<uint8_t> file(0x80, 0);
    file[0] = 'M', file[1] = 'Z', file[0x3C] = 0x40, file[0x40] = 'N', file[0x41] = 'E';
    file[0x64] = 0x40; // ne_rsrctab; ne_restab follows the table
    file[0x66] = static_cast<uint8_t>(0x40 + table.size()),
    file[0x67] = static_cast<uint8_t>((0x40 + table.size()) >> 8);
    file.insert(file.end(), table.begin(), table.end());
    file.resize(dataAt, 0);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

} // namespace vexillo::test
