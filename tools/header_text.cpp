#include "tools/header_text.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace {

constexpr std::size_t keyColumnWidth = 12;

void AppendLine(std::string& text, std::string_view key, std::string_view value) {
    text += key;
    text.append(keyColumnWidth - key.size(), ' ');
    text += ": ";
    text += value;
    text += '\n';
}

std::string RealText(double value) {
    std::array<char, 40> digits{};
    std::snprintf(digits.data(), digits.size(), "%.17g", value);
    return digits.data();
}

std::string_view CellTypeText(ImageCellType cellType) {
    switch (cellType) {
        case ImageCellType::Byte: return "byte";
        case ImageCellType::Integer: return "integer";
        case ImageCellType::Real: return "real";
    }
    return {};
}

std::string_view LayoutText(Layout layout) {
    return layout == Layout::Packed ? "packed binary" : "binary";
}

}  // namespace

std::string HeaderText(const ImageDescription& description) {
    std::string text;
    if (!description.note.empty()) AppendLine(text, "note", description.note);
    AppendLine(text, "data type", CellTypeText(description.cellType));
    AppendLine(text, "file type", LayoutText(description.layout));
    AppendLine(text, "columns", std::to_string(description.columns));
    AppendLine(text, "rows", std::to_string(description.rows));
    AppendLine(text, "min. X", RealText(description.minX));
    AppendLine(text, "max. X", RealText(MaxX(description)));
    AppendLine(text, "min. Y", RealText(description.minY));
    AppendLine(text, "max. Y", RealText(MaxY(description)));
    AppendLine(text, "flag value",
               description.flagValue ? RealText(*description.flagValue) : std::string("none"));
    return text;
}
