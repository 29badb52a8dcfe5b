// Any column description with any value bytes gives some text and never reads past the value.
#include "db/FieldText.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    ibx::TFieldDef field;
    std::memcpy(&field.SqlType, data, 2);
    std::memcpy(&field.SqlScale, data + 2, 2);
    std::memcpy(&field.SqlSubType, data + 4, 2);
    field.SqlType &= ~1;
    field.Name = "F";
    const auto kind = ibx::KindOf(field.SqlType, field.SqlScale, field.SqlSubType, field.Name);
    field.Kind = kind ? *kind : static_cast<ibx::TFieldKind>(data[6] % 9);
    // The value lives in its own heap block of exactly its size, so a read past it is caught.
    const size_t len = size - 8;
    std::string value(reinterpret_cast<const char*>(data + 8), len);
    ibx::CellView cell{(data[7] & 1) != 0, std::string_view(value.data(), value.size())};
    vcl::TFormatSettings fs;
    fs.TwentyFourHour = (data[7] & 2) == 0;
    fs.TimeLeadingZero = (data[7] & 4) != 0;
    fs.TimeMarkerFirst = (data[7] & 8) != 0;
    fs.DecimalSeparator = (data[7] & 16) ? ',' : '.';
    (void)ibx::CellText(field, cell, fs);
    return 0;
}
