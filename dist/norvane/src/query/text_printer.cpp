#include "query/text_printer.h"

#include <cstring>

bool text_printer_open(TextPrinter* printer, const NorvaneDb* db, bool raw) {
    printer->db = db;
    printer->raw = raw;
    printer->decoder = TextDecoder{};
    printer->decoded.assign(db->text_count, std::string());
    printer->done.assign(db->text_count, false);
    return raw || text_decoder_open(&printer->decoder);
}

const std::string& printable_text(TextPrinter* printer, uint32_t index) {
    std::string& text = printer->decoded[index];
    if (!printer->done[index]) {
        const char* bytes = db_text(printer->db, index);
        size_t length = std::strlen(bytes);
        if (printer->raw)
            text.assign(bytes, length);
        else
            decode_to_utf8(&printer->decoder, bytes, length, &text);
        printer->done[index] = true;
    }
    return text;
}

void append_printable(TextPrinter* printer, const char* text, std::string* out) {
    size_t length = std::strlen(text);
    if (printer->raw)
        out->append(text, length);
    else
        decode_to_utf8(&printer->decoder, text, length, out);
}

void append_csv_field(std::string* line, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        line->append(field);
        return;
    }
    line->push_back('"');
    for (char c : field) {
        if (c == '"')
            line->push_back('"');
        line->push_back(c);
    }
    line->push_back('"');
}
