#include "siteweb/FeedbackExport.h"

#include "siteweb/UtcTime.h"

#include <nlohmann/json.hpp>

namespace siteweb {

namespace {

nlohmann::ordered_json Object(const sitestore::Feedback& row) {
    nlohmann::ordered_json o;
    o["id"] = row.id;
    o["received"] = FormatUtc(row.receivedMs);
    o["address"] = row.address;
    o["contact"] = row.contact;
    o["text"] = row.text;
    o["installation"] = row.installation;
    o["client_time"] = row.clientTime;
    o["product"] = row.product;
    o["answered"] = row.answeredMs ? nlohmann::ordered_json(FormatUtc(*row.answeredMs))
                                   : nlohmann::ordered_json(nullptr);
    return o;
}

std::string Dump(const nlohmann::ordered_json& j) {
    // Stored texts are UTF-8; "replace" keeps a damaged row printable anyway.
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string CsvCell(std::string cell) {
    if (!cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@'))
        cell.insert(0, 1, '\'');
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string FeedbackJson(const std::vector<sitestore::Feedback>& rows) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const auto& row : rows)
        array.push_back(Object(row));
    return Dump(array);
}

std::string FeedbackJson(const sitestore::Feedback& row) {
    return Dump(Object(row));
}

std::string FeedbackCsv(const std::vector<sitestore::Feedback>& rows) {
    std::string csv =
        "id,received,address,contact,text,installation,client_time,product,answered\r\n";
    for (const auto& r : rows) {
        csv += std::to_string(r.id) + ',' + FormatUtc(r.receivedMs) + ',' + CsvCell(r.address) +
               ',' + CsvCell(r.contact) + ',' + CsvCell(r.text) + ',' + CsvCell(r.installation) +
               ',' + CsvCell(r.clientTime) + ',' + CsvCell(r.product) + ',' +
               (r.answeredMs ? FormatUtc(*r.answeredMs) : std::string()) + "\r\n";
    }
    return csv;
}

std::string FeedbackText(const sitestore::Feedback& r) {
    std::string text = "id:           " + std::to_string(r.id) + "\n";
    text += "received:     " + FormatUtc(r.receivedMs) + "\n";
    text += "address:      " + r.address + "\n";
    text += "contact:      " + r.contact + "\n";
    text += "installation: " + r.installation + "\n";
    text += "client time:  " + r.clientTime + "\n";
    text += "product:      " + r.product + "\n";
    text +=
        "answered:     " + (r.answeredMs ? FormatUtc(*r.answeredMs) : std::string("no")) + "\n\n";
    text += r.text + "\n";
    return text;
}

} // namespace siteweb
