// CSV exports (RFC 4180: CR LF line ends, a field quoted when it holds a quote, comma, CR or LF;
// UTF-8; a header line): one row per range, or with cidr one row per CIDR network.
#pragma once

#include <functional>
#include <string>

#include "export/export_model.h"

// Appends field as one CSV field, quoted (quotes doubled) where it needs to be.
void append_csv_value(std::string* line, const std::string& field);

// Hands the rows to sink in pieces of about a megabyte, in order; stops and returns false as
// soon as sink does.
bool write_csv(const ExportModel& model, bool cidr,
               const std::function<bool(const std::string&)>& sink);
