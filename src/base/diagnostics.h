#pragma once
// Diagnostic messages: non-fatal findings of parsers and loaders. A message carries a
// numeric id from the message table, a severity and up to four text parameters; the
// table gives each id an identifier and a printf-style text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"

namespace morwick {

enum tMsgSeverity : uint8_t { msNone, msDebug, msVerbose, msInfo, msWarning, msMajor, msCritical };

// Message ids of the table.
inline constexpr int32_t MSG_LOADER_PREMATURE_EOF = 100;
inline constexpr int32_t MSG_WRITER_INTERFACE_UNDEFINED = 101;
inline constexpr int32_t MSG_WRITER_LINKID_MISMATCH = 102;
inline constexpr int32_t MSG_WRITER_ERROR_WRITING_FRAME = 103;
inline constexpr int32_t MSG_PARSER_PARSING_ABORTED = 200;
inline constexpr int32_t MSG_PARSER_OUT_OF_DATA = 201;
inline constexpr int32_t MSG_PARSER_OUT_OF_DATA_FOR_LENGTH = 202;
inline constexpr int32_t MSG_IP_TOTAL_LENGTH_ZERO = 300;
inline constexpr int32_t MSG_TCP_BAD_MSS_OPTION_LEN = 400;
inline constexpr int32_t MSG_TCP_BAD_SACK_OPTION_LEN = 401;
inline constexpr int32_t MSG_TCP_MULTIPLE_EOL_OPTION_SPECIFIED = 402;
inline constexpr int32_t MSG_TCP_MULTIPLE_MSS_OPTIONS_SPECIFIED = 403;
inline constexpr int32_t MSG_TCP_MULTIPLE_SACK_OPTIONS_SPECIFIED = 404;
inline constexpr int32_t MSG_TCP_MULTIPLE_SCALE_OPTIONS_SPECIFIED = 405;
inline constexpr int32_t MSG_TCP_MULTIPLE_TS_OPTIONS_SPECIFIED = 406;
inline constexpr int32_t MSG_TCP_OPTION_CODE_INVALID = 407;
inline constexpr int32_t MSG_TCP_OPTION_DATA_AFTER_EOL = 408;
inline constexpr int32_t MSG_TCP_OPTION_NOT_IMPLEMENTED = 409;
inline constexpr int32_t MSG_TCP_OPTION_SIZE_EXCEEDS_HEADER_LENGTH = 410;
// Raised by the TCP parser for a bad fast-open option length; it has no table entry,
// so its identifier and text are empty.
inline constexpr int32_t MSG_TCP_BAD_FASTOPEN_OPTION_LEN = 411;
inline constexpr int32_t MSG_DNS_ANSWER_PARSE_ERROR = 500;
inline constexpr int32_t MSG_DNS_BROKEN_IPV4_RECORD = 501;
inline constexpr int32_t MSG_DNS_BROKEN_IPV6_RECORD = 502;
inline constexpr int32_t MSG_DNS_FQDN_OFFSET_OUT_OF_BOUNDS = 503;
inline constexpr int32_t MSG_DNS_PARSE_ERROR = 504;
inline constexpr int32_t MSG_DNS_POINTER_LOOP_EXCEEDED = 505;
inline constexpr int32_t MSG_DNS_RECORD_TYPE_SKIPPED = 506;
inline constexpr int32_t MSG_DNS_TXT_RECORD_LENGTH_INVALID = 507;
inline constexpr int32_t MSG_FLOWHNDLR_PARSEFAILED = 600;

// Identifier of a message id ("MSG_PARSER_OUT_OF_DATA"); empty for an unknown id.
std::string_view getMsgHandleName(int32_t id);
// printf-style text of a message id; empty for an unknown id.
std::string_view getMsgText(int32_t id);

// The current local date-time, as stamped on new messages.
tDateTime LocalNow();

struct tDiagnosticMsg {
    int32_t id = 0;
    int32_t parsertype = 0;   // header type of the parser that raised it (set on collection)
    tDateTime timestamp;      // local creation time
    tMsgSeverity severity = msNone;
    std::string messagehandle;
    int64_t frameindex = 0;   // frame number within its file (set on collection)
    std::string param1, param2, param3, param4;

    void initialize() { *this = tDiagnosticMsg{}; }
    // Stamps the current local time and looks up the identifier; missing parameters
    // stay empty.
    void initialize(tMsgSeverity MsgSeverity, int32_t MsgID, std::string_view MsgParam1 = {},
                    std::string_view MsgParam2 = {}, std::string_view MsgParam3 = {},
                    std::string_view MsgParam4 = {});

    // The table text with each "%s" replaced by the next parameter (param1 first);
    // placeholders past the fourth and missing parameters become empty.
    std::string DisplayText() const;
};

using tDiagnosticMsgList = std::vector<tDiagnosticMsg>;

}  // namespace morwick
