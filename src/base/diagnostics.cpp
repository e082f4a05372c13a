#include "base/diagnostics.h"

#include <ctime>

namespace morwick {

namespace {

struct tMsgTableEntry {
    int32_t id;
    std::string_view identifier;
    std::string_view text;
};

constexpr tMsgTableEntry kMsgTable[] = {
    {100, "MSG_LOADER_PREMATURE_EOF", "MSG_LOADER_PREMATURE_EOF"},
    {101, "MSG_WRITER_INTERFACE_UNDEFINED", "MSG_WRITER_INTERFACE_UNDEFINED"},
    {102, "MSG_WRITER_LINKID_MISMATCH", "MSG_WRITER_LINKID_MISMATCH"},
    {103, "MSG_WRITER_ERROR_WRITING_FRAME", "MSG_WRITER_ERROR_WRITING_FRAME"},
    {200, "MSG_PARSER_PARSING_ABORTED", "MSG_PARSER_PARSING_ABORTED"},
    {201, "MSG_PARSER_OUT_OF_DATA",
     "Parser for %s had to abort parsing at offset %s due to lack of data. Last available "
     "offset was %s"},
    {202, "MSG_PARSER_OUT_OF_DATA_FOR_LENGTH",
     "Parser for %s had to abort parsing at offset %s due to lack of data, trying to read %s "
     "more bytes. Last available offset was %s"},
    {300, "MSG_IP_TOTAL_LENGTH_ZERO",
     "IP total length is zero, which was probably caused by segment offloading"},
    {400, "MSG_TCP_BAD_MSS_OPTION_LEN",
     "Bad length for \"TCP MSS\" option encountered. Should be %s bytes but was %s instead"},
    {401, "MSG_TCP_BAD_SACK_OPTION_LEN",
     "Bad length for \"TCP SACK permitted\" option encountered. Should be %s bytes but was %s "
     "instead"},
    {402, "MSG_TCP_MULTIPLE_EOL_OPTION_SPECIFIED", "Multiple TCP EOL options found"},
    {403, "MSG_TCP_MULTIPLE_MSS_OPTIONS_SPECIFIED", "Multiple TCP MSS options found"},
    {404, "MSG_TCP_MULTIPLE_SACK_OPTIONS_SPECIFIED", "Multiple TCP SACK allowed options found"},
    {405, "MSG_TCP_MULTIPLE_SCALE_OPTIONS_SPECIFIED",
     "Multiple TCP Window scaling factor options found"},
    {406, "MSG_TCP_MULTIPLE_TS_OPTIONS_SPECIFIED", "Multiple TCP timestamp options found"},
    {407, "MSG_TCP_OPTION_CODE_INVALID", "Invalid TCP option code encountered: %s"},
    {408, "MSG_TCP_OPTION_DATA_AFTER_EOL", "TCP option following EOL option"},
    {409, "MSG_TCP_OPTION_NOT_IMPLEMENTED",
     "TCP option parsing not yet implemented for option code %s"},
    {410, "MSG_TCP_OPTION_SIZE_EXCEEDS_HEADER_LENGTH",
     "TCP option size of %s exceeds header length %s"},
    {500, "MSG_DNS_ANSWER_PARSE_ERROR",
     "Error while parsing DNS answer: trying to read from offset %s exceeding available range "
     "of %s bytes"},
    {501, "MSG_DNS_BROKEN_IPV4_RECORD", "MSG_DNS_BROKEN_IPV4_RECORD"},
    {502, "MSG_DNS_BROKEN_IPV6_RECORD", "MSG_DNS_BROKEN_IPV6_RECORD"},
    {503, "MSG_DNS_FQDN_OFFSET_OUT_OF_BOUNDS", "MSG_DNS_FQDN_OFFSET_OUT_OF_BOUNDS"},
    {504, "MSG_DNS_PARSE_ERROR", "Error while parsing DNS %s"},
    {505, "MSG_DNS_POINTER_LOOP_EXCEEDED", "Error parsing FQDN - following too many pointers"},
    {506, "MSG_DNS_RECORD_TYPE_SKIPPED", "Skipping DNS record type %s"},
    {507, "MSG_DNS_TXT_RECORD_LENGTH_INVALID", "MSG_DNS_TXT_RECORD_LENGTH_INVALID"},
    {600, "MSG_FLOWHNDLR_PARSEFAILED", "MSG_FLOWHNDLR_PARSEFAILED"},
};

const tMsgTableEntry* FindMsg(int32_t id) {
    for (const auto& e : kMsgTable)
        if (e.id == id) return &e;
    return nullptr;
}

}  // namespace

std::string_view getMsgHandleName(int32_t id) {
    const auto* e = FindMsg(id);
    return e ? e->identifier : std::string_view{};
}

std::string_view getMsgText(int32_t id) {
    const auto* e = FindMsg(id);
    return e ? e->text : std::string_view{};
}

tDateTime LocalNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    time_t secs = ts.tv_sec;
    localtime_r(&secs, &local);
    return tDateTime::Encode(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec, static_cast<int>(ts.tv_nsec / 1'000'000));
}

void tDiagnosticMsg::initialize(tMsgSeverity MsgSeverity, int32_t MsgID, std::string_view MsgParam1,
                                std::string_view MsgParam2, std::string_view MsgParam3,
                                std::string_view MsgParam4) {
    id = MsgID;
    parsertype = 0;
    timestamp = LocalNow();
    severity = MsgSeverity;
    messagehandle = std::string(getMsgHandleName(MsgID));
    frameindex = 0;
    param1 = MsgParam1;
    param2 = MsgParam2;
    param3 = MsgParam3;
    param4 = MsgParam4;
}

std::string tDiagnosticMsg::DisplayText() const {
    const std::string_view text = getMsgText(id);
    const std::string* params[] = {&param1, &param2, &param3, &param4};
    std::string out;
    out.reserve(text.size() + 32);
    size_t next = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            if (next < 4) out += *params[next];
            ++next;
            ++i;
        } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace morwick
