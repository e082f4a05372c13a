// Moving the records of a conversation store into the tables of a meta database, back
// out of them, and from one store into another.
//
// Writing is one pass per table with one prepared INSERT bound row by row, all tables in
// one transaction: a store is written completely or not at all. Parameters are bound by
// their position in the statement, each checked against the name the statement gives it,
// so a row costs no name lookups.
#include <sqlite3.h>

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "parser/parser_tcp.h"
#include "storage/conversationstorage.h"
#include "storage/filestatus.h"
#include "storage/sqlite.h"

namespace morwick {
namespace {

// ---- Statements ----

constexpr std::string_view SqlInsertMACEndpoints =
    "INSERT INTO MACEndpoints (fileid,MACAddress,FramesReceived,FramesSent,BytesReceived,BytesSent,FirstFrame,"
    "LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,LastFrameTime,"
    "LastFrameTimeNano,FlagEthernet,FlagARP,Attributes,InterfaceIDs) VALUES (:fileid,:MACAddress,"
    ":FramesReceived,:FramesSent,:BytesReceived,:BytesSent,:FirstFrame,:LastFrame,:FirstFrameOffset,"
    ":LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,:LastFrameTime,:LastFrameTimeNano,:FlagEthernet,"
    ":FlagARP,:Attributes,:InterfaceIDs)";

constexpr std::string_view SqlInsertMACConversations =
    "INSERT INTO MACConversations (fileid,SourceMAC,DestinationMAC,FramesSrcToDst,FramesDstToSrc,BytesSrcToDst,"
    "BytesDstToSrc,FirstFrame,LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,"
    "LastFrameTime,LastFrameTimeNano,FlagEthernet,FlagARP,Attributes,InterfaceIDs) VALUES (:fileid,:SourceMAC,"
    ":DestinationMAC,:FramesSrcToDst,:FramesDstToSrc,:BytesSrcToDst,:BytesDstToSrc,:FirstFrame,:LastFrame,"
    ":FirstFrameOffset,:LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,:LastFrameTime,:LastFrameTimeNano,"
    ":FlagEthernet,:FlagARP,:Attributes,:InterfaceIDs)";

constexpr std::string_view SqlInsertIPv4Endpoints =
    "INSERT INTO IPv4Endpoints (fileid,IPAddress,FramesReceived,FramesSent,BytesReceived,BytesSent,FirstFrame,"
    "LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,LastFrameTime,"
    "LastFrameTimeNano,TTL,FlagARP,FlagIPv4,FlagDNS,FlagICMP,FlagNRB,Attributes,InterfaceIDs) VALUES (:fileid,"
    ":IPAddress,:FramesReceived,:FramesSent,:BytesReceived,:BytesSent,:FirstFrame,:LastFrame,:FirstFrameOffset,"
    ":LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,:LastFrameTime,:LastFrameTimeNano,:TTL,:FlagARP,"
    ":FlagIPv4,:FlagDNS,:FlagICMP,:FlagNRB,:Attributes,:InterfaceIDs)";

constexpr std::string_view SqlInsertIPv4Conversations =
    "INSERT INTO IPv4Conversations (fileid,SourceIP,DestinationIP,FramesSrcToDst,FramesDstToSrc,BytesSrcToDst,"
    "BytesDstToSrc,FirstFrame,LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,"
    "LastFrameTime,LastFrameTimeNano,FlagARP,FlagIPv4,FlagDNS,FlagICMP,FlagNRB,Attributes,InterfaceIDs) VALUES "
    "(:fileid,:SourceIP,:DestinationIP,:FramesSrcToDst,:FramesDstToSrc,:BytesSrcToDst,:BytesDstToSrc,"
    ":FirstFrame,:LastFrame,:FirstFrameOffset,:LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,"
    ":LastFrameTime,:LastFrameTimeNano,:FlagARP,:FlagIPv4,:FlagDNS,:FlagICMP,:FlagNRB,:Attributes,"
    ":InterfaceIDs)";

constexpr std::string_view SqlInsertIPv6Endpoints =
    "INSERT INTO IPv6Endpoints (fileid,IPAddress,FramesReceived,FramesSent,BytesReceived,BytesSent,FirstFrame,"
    "LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,LastFrameTime,"
    "LastFrameTimeNano,HopLimit,FlagIPv6,FlagDNS,FlagICMP,FlagNRB,Attributes,InterfaceIDs) VALUES (:fileid,"
    ":IPAddress,:FramesReceived,:FramesSent,:BytesReceived,:BytesSent,:FirstFrame,:LastFrame,:FirstFrameOffset,"
    ":LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,:LastFrameTime,:LastFrameTimeNano,:HopLimit,"
    ":FlagIPv6,:FlagDNS,:FlagICMP,:FlagNRB,:Attributes,:InterfaceIDs)";

constexpr std::string_view SqlInsertIPv6Conversations =
    "INSERT INTO IPv6Conversations (fileid,SourceIP,DestinationIP,FramesSrcToDst,FramesDstToSrc,BytesSrcToDst,"
    "BytesDstToSrc,FirstFrame,LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,"
    "LastFrameTime,LastFrameTimeNano,FlagIPv6,FlagDNS,FlagICMP,FlagNRB,Attributes,InterfaceIDs) VALUES (:fileid,"
    ":SourceIP,:DestinationIP,:FramesSrcToDst,:FramesDstToSrc,:BytesSrcToDst,:BytesDstToSrc,:FirstFrame,"
    ":LastFrame,:FirstFrameOffset,:LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,:LastFrameTime,"
    ":LastFrameTimeNano,:FlagIPv6,:FlagDNS,:FlagICMP,:FlagNRB,:Attributes,:InterfaceIDs)";

constexpr std::string_view SqlInsertTCPConversations =
    "INSERT INTO TCPConversations (fileid,IPVersion,SourceIP,SourcePort,DestinationIP,DestinationPort,ClientIP,"
    "FramesSrcToDst,FramesDstToSrc,BytesSrcToDst,BytesDstToSrc,PayloadSrcToDst,PayloadDstToSrc,FirstFrame,"
    "LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,LastFrameTime,"
    "LastFrameTimeNano,SessionStatus,SynFlagSeen,FinFlagSeen,RstFlagSeen,TCPFlags,InitialRTTns,FlagIPv4,"
    "FlagIPv6,FlagICMP,Attributes,InterfaceIDs,TunnelFlags,ClientRandom,MiscInfo) VALUES (:fileid,:IPVersion,"
    ":SourceIP,:SourcePort,:DestinationIP,:DestinationPort,:ClientIP,:FramesSrcToDst,:FramesDstToSrc,"
    ":BytesSrcToDst,:BytesDstToSrc,:PayloadSrcToDst,:PayloadDstToSrc,:FirstFrame,:LastFrame,:FirstFrameOffset,"
    ":LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,:LastFrameTime,:LastFrameTimeNano,:SessionStatus,"
    ":SynFlagSeen,:FinFlagSeen,:RstFlagSeen,:TCPFlags,:InitialRTTns,:FlagIPv4,:FlagIPv6,:FlagICMP,:Attributes,"
    ":InterfaceIDs,:TunnelFlags,:ClientRandom,:MiscInfo)";

constexpr std::string_view SqlInsertUDPConversations =
    "INSERT INTO UDPConversations (fileid,IPVersion,SourceIP,SourcePort,DestinationIP,DestinationPort,"
    "FramesSrcToDst,FramesDstToSrc,BytesSrcToDst,BytesDstToSrc,FirstFrame,LastFrame,FirstFrameOffset,"
    "LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,LastFrameTime,LastFrameTimeNano,FlagIPv4,FlagIPv6,"
    "FlagICMP,Attributes,InterfaceIDs,TunnelFlags,ClientRandom,MiscInfo) VALUES (:fileid,:IPVersion,:SourceIP,"
    ":SourcePort,:DestinationIP,:DestinationPort,:FramesSrcToDst,:FramesDstToSrc,:BytesSrcToDst,"
    ":BytesDstToSrc,:FirstFrame,:LastFrame,:FirstFrameOffset,:LastFrameOffset,:FirstFrameTime,"
    ":FirstFrameTimeNano,:LastFrameTime,:LastFrameTimeNano,:FlagIPv4,:FlagIPv6,:FlagICMP,:Attributes,"
    ":InterfaceIDs,:TunnelFlags,:ClientRandom,:MiscInfo)";

constexpr std::string_view SqlInsertNameResolution =
    "INSERT INTO NameResolution (fileid,ipversion,fqdn,answertype,answer,ReplyCode,FrameCount,FirstFrame,"
    "LastFrame,FirstFrameOffset,LastFrameOffset,FirstFrameTime,FirstFrameTimeNano,LastFrameTime,"
    "LastFrameTimeNano,QueryTypes,FlagIsAnswer,FlagQueryOnly,FlagNRB,FlagDNS,FlagNBNS,FlagDHCP,"
    "FlagExternalResearch,InterfaceIDs) VALUES (:fileid,:ipversion,:fqdn,:answertype,:answer,:ReplyCode,"
    ":FrameCount,:FirstFrame,:LastFrame,:FirstFrameOffset,:LastFrameOffset,:FirstFrameTime,:FirstFrameTimeNano,"
    ":LastFrameTime,:LastFrameTimeNano,:QueryTypes,:FlagIsAnswer,:FlagQueryOnly,:FlagNRB,:FlagDNS,:FlagNBNS,"
    ":FlagDHCP,:FlagExternalResearch,:InterfaceIDs)";

constexpr std::string_view SqlUpdateFilelist =
    "UPDATE filelist SET conversationsscanned=:conversationsscanned,zeropayloadcount=:zeropayloadcount "
    "WHERE id=:id;";

constexpr std::string_view SqlSelectMACEndpoints =
    "SELECT * FROM MACEndpoints WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectMACConversations =
    "SELECT * FROM MACConversations WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectIPv4Endpoints =
    "SELECT * FROM IPv4Endpoints WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectIPv6Endpoints =
    "SELECT * FROM IPv6Endpoints WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectIPv4Conversations =
    "SELECT * FROM IPv4Conversations WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectIPv6Conversations =
    "SELECT * FROM IPv6Conversations WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectTCPConversations =
    "SELECT * FROM TCPConversations WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectUDPConversations =
    "SELECT * FROM UDPConversations WHERE fileid=:fileid ORDER BY FirstFrame ASC;";
constexpr std::string_view SqlSelectNameResolution =
    "SELECT * FROM NameResolution WHERE fileid=:fileid ORDER BY FirstFrame ASC;";

constexpr std::string_view SqlSelectFilelist = "SELECT * FROM filelist;";

// ---- Row inserts ----

// Writes the rows of one table with one INSERT statement prepared once. The values of a
// row are given in the order of the statement's parameters, each with the parameter's
// name, which is checked against the statement: a value given under the wrong name or a
// row with too few or too many values is an error, never a shifted row.
//
// Rows go in groups: a second statement with the same columns takes RowsPerGroup rows
// of positional parameters at once, which spares SQLite the start and end of a statement
// (cursors, the AUTOINCREMENT counter) for all but one row of each group. Rows keep their
// order, so they get the same ids as one by one. The rows after the last full group use
// the one-row statement.
class tRowInserter {
public:
    static constexpr int MaxRowsPerGroup = 64;

    tRowInserter(tSQLiteConnection& Database, std::string_view Sql, size_t Rows)
        : priv_db(Database.Handle()), priv_remaining(Rows) {
        if (!priv_db) throw tDatabaseError("Database not open (tRowInserter.Prepare)");
        priv_single = Prepare(Sql);
        priv_count = sqlite3_bind_parameter_count(priv_single);
        // SQLite finds a parameter's name by walking a list; look each up once.
        priv_names.reserve(static_cast<size_t>(priv_count));
        for (int i = 1; i <= priv_count; ++i) {
            const char* name = sqlite3_bind_parameter_name(priv_single, i);
            priv_names.emplace_back(name ? name : "");
        }
        const int limit = sqlite3_limit(priv_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        const size_t values = Sql.find(" VALUES (");
        if (priv_count > 0 && values != std::string_view::npos) {
            priv_grouprows = std::min(MaxRowsPerGroup, limit / priv_count);
            if (priv_grouprows > 1 && Rows >= static_cast<size_t>(priv_grouprows)) {
                std::string tuple = "(";
                for (int i = 0; i < priv_count; ++i) tuple += i == 0 ? "?" : ",?";
                tuple += ')';
                std::string group(Sql.substr(0, values));
                group += " VALUES ";
                for (int r = 0; r < priv_grouprows; ++r) {
                    if (r > 0) group += ',';
                    group += tuple;
                }
                priv_group = Prepare(group);
            }
        }
        priv_texts.resize(static_cast<size_t>(std::max(priv_grouprows, 1)) * TextBytesPerRow);
        Choose();
    }
    ~tRowInserter() {
        sqlite3_finalize(priv_single);
        sqlite3_finalize(priv_group);
    }
    tRowInserter(const tRowInserter&) = delete;
    tRowInserter& operator=(const tRowInserter&) = delete;

    tRowInserter& Int(std::string_view Name, int64_t Value) {
        Check(sqlite3_bind_int64(priv_stmt, Next(Name), Value), Name);
        return *this;
    }
    tRowInserter& Bool(std::string_view Name, bool Value) { return Int(Name, Value ? 1 : 0); }
    tRowInserter& Text(std::string_view Name, std::string_view Value) {
        const int index = Next(Name);
        const char* data = Value.data() ? Value.data() : "";
        if (char* at = Reserve(Value.size())) {
            // Kept in the inserter's buffer until the statement has run, so SQLite need
            // not copy it.
            std::memcpy(at, data, Value.size());
            priv_textsused += Value.size();
            Check(sqlite3_bind_text64(priv_stmt, index, at, Value.size(), SQLITE_STATIC, SQLITE_UTF8), Name);
        } else {
            Check(sqlite3_bind_text64(priv_stmt, index, data, Value.size(), SQLITE_TRANSIENT, SQLITE_UTF8), Name);
        }
        return *this;
    }
    tRowInserter& Time(std::string_view Name, tDateTime Value) {
        char* at = Reserve(DBTextBufferSize);
        if (!at) return Text(Name, DateTimeToDBText(Value));
        return BindWritten(Name, at, DateTimeToDBText(Value, at));
    }
    // A MAC address as "aa:bb:cc:dd:ee:ff" (lower case).
    tRowInserter& MAC(std::string_view Name, const tMACAddress& Value) {
        char* at = Reserve(17);
        if (!at) return Text(Name, Value.asString(":", true));
        static constexpr char digits[] = "0123456789abcdef";
        for (size_t i = 0; i < 6; ++i) {
            if (i > 0) at[3 * i - 1] = ':';
            at[3 * i] = digits[Value.RangeBytes[i] >> 4];
            at[3 * i + 1] = digits[Value.RangeBytes[i] & 0xF];
        }
        return BindWritten(Name, at, 17);
    }

    // Ends the row; the statement runs when its last row is complete.
    void EndRow() {
        if (priv_next != priv_count)
            throw tAssertionError(fmt::format("Row with {} of {} values for \"{}\" (tRowInserter.EndRow)",
                                              priv_next, priv_count, sqlite3_sql(priv_single)));
        if (priv_remaining == 0)
            throw tAssertionError(fmt::format("More rows than announced for \"{}\" (tRowInserter.EndRow)",
                                              sqlite3_sql(priv_single)));
        priv_next = 0;
        --priv_remaining;
        if (++priv_rowsbound < priv_stmtrows) return;
        const int rc = sqlite3_step(priv_stmt);
        if (rc != SQLITE_DONE) {
            const std::string msg = sqlite3_errmsg(priv_db);
            sqlite3_reset(priv_stmt);
            throw tDatabaseError(fmt::format("{} (tRowInserter.EndRow)", msg));
        }
        sqlite3_reset(priv_stmt);
        Choose();
    }

private:
    // Texts of one row normally take a fraction of this; a longer one is copied by SQLite.
    static constexpr size_t TextBytesPerRow = 1024;

    sqlite3_stmt* Prepare(std::string_view Sql) {
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(priv_db, Sql.data(), static_cast<int>(Sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK || !stmt) {
            sqlite3_finalize(stmt);
            Fail(fmt::format("tRowInserter.Prepare \"{}\"", Sql));
        }
        return stmt;
    }
    // The statement for the next rows: a whole group while one is left, else one row.
    void Choose() {
        const bool group = priv_group && priv_remaining >= static_cast<size_t>(priv_grouprows);
        priv_stmt = group ? priv_group : priv_single;
        priv_stmtrows = group ? priv_grouprows : 1;
        priv_rowsbound = 0;
        priv_textsused = 0;
    }
    // Room for Size bytes in the text buffer, or null when it is full.
    char* Reserve(size_t Size) {
        return Size <= priv_texts.size() - priv_textsused ? priv_texts.data() + priv_textsused : nullptr;
    }
    // Binds Size bytes that were written at the start of the free part of the buffer.
    tRowInserter& BindWritten(std::string_view Name, const char* At, size_t Size) {
        const int index = Next(Name);
        priv_textsused += Size;
        Check(sqlite3_bind_text64(priv_stmt, index, At, Size, SQLITE_STATIC, SQLITE_UTF8), Name);
        return *this;
    }
    // The statement's index of the row's next parameter, which must be Name.
    int Next(std::string_view Name) {
        const int index = ++priv_next;
        const std::string_view expected = index <= priv_count ? priv_names[static_cast<size_t>(index - 1)] : "(none)";
        if (index > priv_count || Name != expected)
            throw tAssertionError(fmt::format("Value {} given for parameter {} of \"{}\" (tRowInserter.Bind)", Name,
                                              expected, sqlite3_sql(priv_single)));
        return priv_rowsbound * priv_count + index;
    }
    void Check(int Code, std::string_view Name) const {
        if (Code != SQLITE_OK) Fail(fmt::format("tRowInserter.Bind {}", Name));
    }
    [[noreturn]] void Fail(std::string_view Context) const {
        throw tDatabaseError(fmt::format("{} ({})", sqlite3_errmsg(priv_db), Context));
    }

    sqlite3* priv_db = nullptr;
    sqlite3_stmt* priv_single = nullptr;  // one row, named parameters
    sqlite3_stmt* priv_group = nullptr;   // priv_grouprows rows, positional parameters; may be null
    sqlite3_stmt* priv_stmt = nullptr;    // the one being bound
    int priv_count = 0;                   // parameters of one row
    int priv_grouprows = 0;
    int priv_stmtrows = 1;   // rows of priv_stmt
    int priv_rowsbound = 0;  // complete rows bound to priv_stmt
    int priv_next = 0;       // values given for the current row
    size_t priv_remaining = 0;
    std::vector<std::string_view> priv_names;  // by parameter index - 1; SQLite owns the texts
    // The texts bound to priv_stmt; SQLite reads them in place when it runs.
    std::vector<char> priv_texts;
    size_t priv_textsused = 0;
};

// ---- Values shared by the tables ----

// The first frame number of a record (MAC endpoints name theirs differently).
template <typename R>
int64_t FirstFrameOf(const R& r) {
    if constexpr (requires { r.FirstFrameIndex; }) return r.FirstFrameIndex;
    else return r.FirstFrame;
}
template <typename R>
int64_t LastFrameOf(const R& r) {
    if constexpr (requires { r.LastFrameIndex; }) return r.LastFrameIndex;
    else return r.LastFrame;
}

// FirstFrame to LastFrameTimeNano, in the order every statement lists them.
template <typename R>
void BindFrames(tRowInserter& Row, const R& r) {
    Row.Int(":FirstFrame", FirstFrameOf(r))
        .Int(":LastFrame", LastFrameOf(r))
        .Int(":FirstFrameOffset", r.FirstFrameOffset)
        .Int(":LastFrameOffset", r.LastFrameOffset)
        .Time(":FirstFrameTime", r.FirstFrameTime.datetime)
        .Int(":FirstFrameTimeNano", r.FirstFrameTime.nanoseconds)
        .Time(":LastFrameTime", r.LastFrameTime.datetime)
        .Int(":LastFrameTimeNano", r.LastFrameTime.nanoseconds);
}

template <typename R>
void BindCounters(tRowInserter& Row, const R& r) {
    if constexpr (requires { r.FramesReceived; }) {
        Row.Int(":FramesReceived", r.FramesReceived)
            .Int(":FramesSent", r.FramesSent)
            .Int(":BytesReceived", r.BytesReceived)
            .Int(":BytesSent", r.BytesSent);
    } else {
        Row.Int(":FramesSrcToDst", r.FramesSrcToDst)
            .Int(":FramesDstToSrc", r.FramesDstToSrc)
            .Int(":BytesSrcToDst", r.BytesSrcToDst)
            .Int(":BytesDstToSrc", r.BytesDstToSrc);
    }
}

// The flag columns and the markers they stand for.
struct tFlagColumn {
    std::string_view Column;
    tMarker Marker;
};
constexpr tFlagColumn FlagColumns[] = {
    {"FlagEthernet", mFoundByEthernet}, {"FlagARP", mFoundByARP},   {"FlagIPv4", mFoundByIPv4},
    {"FlagIPv6", mFoundByIPv6},         {"FlagICMP", mFoundByICMP}, {"FlagDNS", mFoundByDNS},
    {"FlagNRB", mFoundByNRB},           {"FlagNBNS", mFoundByNBNS}, {"FlagDHCP", mFoundByDHCP},
    {"FlagExternalResearch", mFoundByExternalResearch},
};

// The flag parameter ":FlagX" of a marker.
void BindFlag(tRowInserter& Row, std::string_view Parameter, tMarkerSet Markers) {
    for (const auto& f : FlagColumns) {
        if (Parameter.substr(1) == f.Column) {
            Row.Bool(Parameter, Markers.has(f.Marker));
            return;
        }
    }
    throw tAssertionError(fmt::format("No marker for {} (BindFlag)", Parameter));
}

template <typename... Names>
void BindFlags(tRowInserter& Row, tMarkerSet Markers, Names... Parameters) {
    (BindFlag(Row, Parameters, Markers), ...);
}

template <typename R>
void BindAttributesAndInterfaces(tRowInserter& Row, const R& r) {
    Row.Int(":Attributes", AttributesToLong(r.Attributes)).Text(":InterfaceIDs", InterfaceListToString(r.InterfaceList));
}

template <typename Map, typename BindRow>
void WriteTable(tSQLiteConnection& Database, std::string_view Sql, const Map& Records, BindRow Bind) {
    if (Records.empty()) return;
    tRowInserter row(Database, Sql, static_cast<size_t>(Records.size()));
    for (const auto& [key, record] : Records) {
        Bind(row, record);
        row.EndRow();
    }
}

// The payload columns in source-to-destination terms: the client's bytes go with the
// source when the client is the source; otherwise (client is the destination, or
// unknown) the other way round.
struct tPayloadColumns {
    int64_t SrcToDst;
    int64_t DstToSrc;
};
tPayloadColumns PayloadColumns(const tTCPConversation& c) {
    if (c.ClientIP == c.SocketPair.Source.IPAddress) return {c.ClientPayloadBytes, c.ServerPayloadBytes};
    return {c.ServerPayloadBytes, c.ClientPayloadBytes};
}

// ---- Reading rows ----

template <typename Fn>
void ReadTable(tSQLiteConnection& Database, std::string_view Sql, int32_t FileID, Fn OnRow) {
    tSQLiteStatement query(Database, Sql);
    query.BindInt32(":fileid", FileID);
    while (query.Step()) OnRow(query);
}

tFrameTimeStamp ReadTimeStamp(const tSQLiteStatement& q, std::string_view TimeColumn, std::string_view NanoColumn) {
    return tFrameTimeStamp{q.ColumnDateTime(TimeColumn), q.ColumnInt32(NanoColumn)};
}

tMarkerSet ReadMarkers(const tSQLiteStatement& q) {
    tMarkerSet markers;
    for (const auto& f : FlagColumns) {
        const int index = q.FindColumn(f.Column);
        if (index >= 0 && q.ColumnBool(index)) markers.add(f.Marker);
    }
    return markers;
}

// A stored interface text belongs to the file it is read for.
tInterfaceFileIDList ReadInterfaces(const tSQLiteStatement& q, int32_t FileID) {
    return InterfaceListFromString(fmt::format("{}/{}", FileID, q.ColumnText("InterfaceIDs")));
}

template <typename R>
void ReadFrames(const tSQLiteStatement& q, R& r) {
    if constexpr (requires { r.FirstFrameIndex; }) {
        r.FirstFrameIndex = q.ColumnInt32("FirstFrame");
        r.LastFrameIndex = q.ColumnInt32("LastFrame");
    } else {
        r.FirstFrame = q.ColumnInt64("FirstFrame");
        r.LastFrame = q.ColumnInt64("LastFrame");
    }
    r.FirstFrameOffset = q.ColumnInt64("FirstFrameOffset");
    r.LastFrameOffset = q.ColumnInt64("LastFrameOffset");
    r.FirstFrameTime = ReadTimeStamp(q, "FirstFrameTime", "FirstFrameTimeNano");
    r.LastFrameTime = ReadTimeStamp(q, "LastFrameTime", "LastFrameTimeNano");
}

template <typename R>
void ReadCommon(const tSQLiteStatement& q, R& r, int32_t FileID) {
    if constexpr (requires { r.FramesReceived; }) {
        r.FramesReceived = q.ColumnInt32("FramesReceived");
        r.FramesSent = q.ColumnInt32("FramesSent");
        r.BytesReceived = q.ColumnInt64("BytesReceived");
        r.BytesSent = q.ColumnInt64("BytesSent");
    } else {
        r.FramesSrcToDst = q.ColumnInt32("FramesSrcToDst");
        r.FramesDstToSrc = q.ColumnInt32("FramesDstToSrc");
        r.BytesSrcToDst = q.ColumnInt64("BytesSrcToDst");
        r.BytesDstToSrc = q.ColumnInt64("BytesDstToSrc");
    }
    ReadFrames(q, r);
    r.Markers = ReadMarkers(q);
    r.InterfaceList = ReadInterfaces(q, FileID);
    if constexpr (requires { r.Attributes; }) r.Attributes = LongToAttributes(q.ColumnInt64("Attributes"));
}

tIPAddress ReadIPAddress(const tSQLiteStatement& q, std::string_view Column) {
    tIPAddress a;
    a.setValueFromString(q.ColumnText(Column), 0);
    return a;
}

tIPSocketPair ReadSocketPair(const tSQLiteStatement& q) {
    tIPSocket source, destination;
    source.initialize(ReadIPAddress(q, "SourceIP"), static_cast<uint16_t>(q.ColumnInt32("SourcePort")));
    destination.initialize(ReadIPAddress(q, "DestinationIP"), static_cast<uint16_t>(q.ColumnInt32("DestinationPort")));
    tIPSocketPair pair;
    pair.initialize(source, destination);
    return pair;
}

// ---- Name resolutions ----

uint8_t AnswerIPVersion(const tNameResolutionAnswer& Answer) {
    return Answer.AnswerType == nraIPAddress ? Answer.IPAddress.IPVersion : 0;
}

tNameResolutionAnswer ReadAnswer(const tSQLiteStatement& q) {
    tNameResolutionAnswer answer;
    const std::string text = q.ColumnText("answer");
    switch (q.ColumnInt64("answertype")) {
        case 1:
            if (q.ColumnInt64("ipversion") == 4) {
                tIPv4Address a;
                a.setValueFromString(text, 32);
                answer.initialize(a);
            } else {
                tIPv6Address a;
                a.setValueFromString(text, 64);
                answer.initialize(a);
            }
            break;
        case 2: {
            tFQDN name;
            name.setFQDN(text);
            answer.initialize(name);
            break;
        }
        case 3:
            answer.initialize(std::string_view(text));
            break;
        default:
            break;
    }
    return answer;
}

}  // namespace

// ---- Writing ----

bool tConversationStorage::StoreConversationsToDatabase(tSQLiteConnection& Database, const std::string& Filename,
                                                        int64_t FileSize, tDateTime FileDate,
                                                        const tFrameTimeStamp& FirstFrameTime,
                                                        const tFrameTimeStamp& LastFrameTime) {
    priv_database = Database.Handle();
    const tIntelDBFileStatus status =
        getIntelDBFileStatus(Database, Filename, FileSize, FileDate, FirstFrameTime, LastFrameTime);
    if (!IntelDBFileStatusMatches(status)) return false;
    priv_filedbindex = status.DBIndex;
    const int64_t fileid = priv_filedbindex;

    tSQLiteTransaction transaction(Database);

    WriteTable(Database, SqlInsertMACEndpoints, priv_dictMACEndpoints, [&](tRowInserter& row, const tMACEndpoint& r) {
        row.Int(":fileid", fileid).MAC(":MACAddress", r.MACAddress);
        BindCounters(row, r);
        BindFrames(row, r);
        BindFlags(row, r.Markers, ":FlagEthernet", ":FlagARP");
        BindAttributesAndInterfaces(row, r);
    });

    WriteTable(Database, SqlInsertMACConversations, priv_dictMACConversations,
               [&](tRowInserter& row, const tMACConversation& r) {
                   row.Int(":fileid", fileid)
                       .MAC(":SourceMAC", r.MACPair.Source)
                       .MAC(":DestinationMAC", r.MACPair.Destination);
                   BindCounters(row, r);
                   BindFrames(row, r);
                   BindFlags(row, r.Markers, ":FlagEthernet", ":FlagARP");
                   BindAttributesAndInterfaces(row, r);
               });

    WriteTable(Database, SqlInsertIPv4Endpoints, priv_dictIPv4Endpoints, [&](tRowInserter& row, const tIPv4Endpoint& r) {
        row.Int(":fileid", fileid).Text(":IPAddress", r.IPv4Address.ValueAsString());
        BindCounters(row, r);
        BindFrames(row, r);
        row.Int(":TTL", r.TTL);
        BindFlags(row, r.Markers, ":FlagARP", ":FlagIPv4", ":FlagDNS", ":FlagICMP", ":FlagNRB");
        BindAttributesAndInterfaces(row, r);
    });

    WriteTable(Database, SqlInsertIPv4Conversations, priv_dictIPv4Conversations,
               [&](tRowInserter& row, const tIPv4Conversation& r) {
                   row.Int(":fileid", fileid)
                       .Text(":SourceIP", r.IPv4AddressPair.Source.ValueAsString())
                       .Text(":DestinationIP", r.IPv4AddressPair.Destination.ValueAsString());
                   BindCounters(row, r);
                   BindFrames(row, r);
                   BindFlags(row, r.Markers, ":FlagARP", ":FlagIPv4", ":FlagDNS", ":FlagICMP", ":FlagNRB");
                   BindAttributesAndInterfaces(row, r);
               });

    WriteTable(Database, SqlInsertIPv6Endpoints, priv_dictIPv6Endpoints, [&](tRowInserter& row, const tIPv6Endpoint& r) {
        row.Int(":fileid", fileid).Text(":IPAddress", r.IPv6Address.ValueAsString());
        BindCounters(row, r);
        BindFrames(row, r);
        row.Int(":HopLimit", r.HopLimit);
        BindFlags(row, r.Markers, ":FlagIPv6", ":FlagDNS", ":FlagICMP", ":FlagNRB");
        BindAttributesAndInterfaces(row, r);
    });

    WriteTable(Database, SqlInsertIPv6Conversations, priv_dictIPv6Conversations,
               [&](tRowInserter& row, const tIPv6Conversation& r) {
                   row.Int(":fileid", fileid)
                       .Text(":SourceIP", r.IPv6AddressPair.Source.ValueAsString())
                       .Text(":DestinationIP", r.IPv6AddressPair.Destination.ValueAsString());
                   BindCounters(row, r);
                   BindFrames(row, r);
                   BindFlags(row, r.Markers, ":FlagIPv6", ":FlagDNS", ":FlagICMP", ":FlagNRB");
                   BindAttributesAndInterfaces(row, r);
               });

    priv_EmptyTCPConversations = 0;
    WriteTable(Database, SqlInsertTCPConversations, priv_dictTCPConversations,
               [&](tRowInserter& row, const tTCPConversation& r) {
                   if (r.ClientPayloadBytes + r.ServerPayloadBytes == 0) ++priv_EmptyTCPConversations;
                   const tPayloadColumns payload = PayloadColumns(r);
                   row.Int(":fileid", fileid)
                       .Int(":IPVersion", r.SocketPair.Source.IPAddress.IPVersion)
                       .Text(":SourceIP", r.SocketPair.Source.IPAddress.ValueAsString())
                       .Int(":SourcePort", r.SocketPair.Source.Port)
                       .Text(":DestinationIP", r.SocketPair.Destination.IPAddress.ValueAsString())
                       .Int(":DestinationPort", r.SocketPair.Destination.Port)
                       .Text(":ClientIP", r.ClientIP.ValueAsString());
                   BindCounters(row, r);
                   row.Int(":PayloadSrcToDst", payload.SrcToDst).Int(":PayloadDstToSrc", payload.DstToSrc);
                   BindFrames(row, r);
                   row.Int(":SessionStatus", r.SessionStatus)
                       .Bool(":SynFlagSeen", r.SynSeen)
                       .Bool(":FinFlagSeen", r.FinSeen)
                       .Bool(":RstFlagSeen", r.RstSeen)
                       .Int(":TCPFlags", TCPFlagsToWord(r.Flags))
                       .Int(":InitialRTTns", r.InitialRTTns);
                   BindFlags(row, r.Markers, ":FlagIPv4", ":FlagIPv6", ":FlagICMP");
                   BindAttributesAndInterfaces(row, r);
                   row.Int(":TunnelFlags", TunnelFlagsToWord(r.Tunnelflags)).Text(":ClientRandom", "").Text(":MiscInfo", "");
               });

    WriteTable(Database, SqlInsertUDPConversations, priv_dictUDPConversations,
               [&](tRowInserter& row, const tUDPConversation& r) {
                   row.Int(":fileid", fileid)
                       .Int(":IPVersion", r.SocketPair.Source.IPAddress.IPVersion)
                       .Text(":SourceIP", r.SocketPair.Source.IPAddress.ValueAsString())
                       .Int(":SourcePort", r.SocketPair.Source.Port)
                       .Text(":DestinationIP", r.SocketPair.Destination.IPAddress.ValueAsString())
                       .Int(":DestinationPort", r.SocketPair.Destination.Port);
                   BindCounters(row, r);
                   BindFrames(row, r);
                   BindFlags(row, r.Markers, ":FlagIPv4", ":FlagIPv6", ":FlagICMP");
                   BindAttributesAndInterfaces(row, r);
                   row.Int(":TunnelFlags", TunnelFlagsToWord(r.Tunnelflags)).Text(":ClientRandom", "").Text(":MiscInfo", "");
               });

    WriteTable(Database, SqlInsertNameResolution, priv_dictNameResolutions,
               [&](tRowInserter& row, const tNameResolutionEntry& r) {
                   row.Int(":fileid", fileid)
                       .Int(":ipversion", AnswerIPVersion(r.Answer))
                       .Text(":fqdn", r.FQDN.FullFQDN)
                       .Int(":answertype", NRAnswerTypeToNumber(r.Answer.AnswerType))
                       .Text(":answer", r.Answer.asString())
                       .Int(":ReplyCode", ReturnCodeToNumber(r.ReplyCode))
                       .Int(":FrameCount", r.FrameCount);
                   BindFrames(row, r);
                   row.Int(":QueryTypes", DNSRecordTypeSetToNumber(r.QueryTypes))
                       .Bool(":FlagIsAnswer", r.isAnswer)
                       .Bool(":FlagQueryOnly", r.QueryOnly);
                   BindFlags(row, r.Markers, ":FlagNRB", ":FlagDNS", ":FlagNBNS", ":FlagDHCP", ":FlagExternalResearch");
                   row.Text(":InterfaceIDs", InterfaceListToString(r.InterfaceList));
               });

    tSQLiteStatement update(Database, SqlUpdateFilelist);
    update.BindBool(":conversationsscanned", true);
    update.BindInt32(":zeropayloadcount", priv_EmptyTCPConversations);
    update.BindInt32(":id", priv_filedbindex);
    update.Execute();

    transaction.Commit();
    return true;
}

// ---- Reading ----

bool tConversationStorage::LoadConversationsFromDatabase(tSQLiteConnection& Database, const std::string& Filename,
                                                         int64_t FileSize, tDateTime FileDate,
                                                         const tFrameTimeStamp& FirstFrameTime,
                                                         const tFrameTimeStamp& LastFrameTime) {
    priv_database = Database.Handle();
    const tIntelDBFileStatus status =
        getIntelDBFileStatus(Database, Filename, FileSize, FileDate, FirstFrameTime, LastFrameTime);
    if (!IntelDBFileStatusMatches(status)) return false;
    priv_filedbindex = status.DBIndex;
    const int32_t fileid = priv_filedbindex;

    ReadTable(Database, SqlSelectMACEndpoints, fileid, [&](const tSQLiteStatement& q) {
        tMACEndpoint r;
        r.initialize(fileid);
        r.MACAddress.setfromString(q.ColumnText("MACAddress"), ":");
        ReadCommon(q, r, fileid);
        AddMACEndpoint(r);
    });
    ReadTable(Database, SqlSelectMACConversations, fileid, [&](const tSQLiteStatement& q) {
        tMACConversation r;
        r.initialize(fileid);
        tMACAddress source, destination;
        source.setfromString(q.ColumnText("SourceMAC"), ":");
        destination.setfromString(q.ColumnText("DestinationMAC"), ":");
        r.MACPair.initialize(source, destination);
        ReadCommon(q, r, fileid);
        AddMACConversation(r);
    });
    ReadTable(Database, SqlSelectIPv4Endpoints, fileid, [&](const tSQLiteStatement& q) {
        tIPv4Endpoint r;
        r.initialize(fileid);
        r.IPv4Address.setValueFromString(q.ColumnText("IPAddress"), 32);
        ReadCommon(q, r, fileid);
        r.TTL = static_cast<uint8_t>(q.ColumnInt32("TTL"));
        AddIPv4Endpoint(r);
    });
    ReadTable(Database, SqlSelectIPv6Endpoints, fileid, [&](const tSQLiteStatement& q) {
        tIPv6Endpoint r;
        r.initialize(fileid);
        r.IPv6Address.setValueFromString(q.ColumnText("IPAddress"), 64);
        ReadCommon(q, r, fileid);
        r.HopLimit = static_cast<uint8_t>(q.ColumnInt32("HopLimit"));
        AddIPv6Endpoint(r);
    });
    ReadTable(Database, SqlSelectIPv4Conversations, fileid, [&](const tSQLiteStatement& q) {
        tIPv4Conversation r;
        r.initialize(fileid);
        tIPv4Address source, destination;
        source.setValueFromString(q.ColumnText("SourceIP"), 32);
        destination.setValueFromString(q.ColumnText("DestinationIP"), 32);
        r.IPv4AddressPair.initialize(source, destination);
        ReadCommon(q, r, fileid);
        AddIPv4Conversation(r);
    });
    ReadTable(Database, SqlSelectIPv6Conversations, fileid, [&](const tSQLiteStatement& q) {
        tIPv6Conversation r;
        r.initialize(fileid);
        tIPv6Address source, destination;
        source.setValueFromString(q.ColumnText("SourceIP"), 64);
        destination.setValueFromString(q.ColumnText("DestinationIP"), 64);
        r.IPv6AddressPair.initialize(source, destination);
        ReadCommon(q, r, fileid);
        AddIPv6Conversation(r);
    });
    ReadTable(Database, SqlSelectTCPConversations, fileid, [&](const tSQLiteStatement& q) {
        tTCPConversation r;
        r.initialize(fileid);
        r.SocketPair = ReadSocketPair(q);
        r.ClientIP = ReadIPAddress(q, "ClientIP");
        ReadCommon(q, r, fileid);
        if (r.ClientIP == r.SocketPair.Source.IPAddress) {
            r.ClientPayloadBytes = q.ColumnInt64("PayloadSrcToDst");
            r.ServerPayloadBytes = q.ColumnInt64("PayloadDstToSrc");
        } else {
            r.ClientPayloadBytes = q.ColumnInt64("PayloadDstToSrc");
            r.ServerPayloadBytes = q.ColumnInt64("PayloadSrcToDst");
        }
        r.SessionStatus = static_cast<uint8_t>(q.ColumnInt32("SessionStatus"));
        r.SynSeen = q.ColumnBool("SynFlagSeen");
        r.FinSeen = q.ColumnBool("FinFlagSeen");
        r.RstSeen = q.ColumnBool("RstFlagSeen");
        r.Flags = WordToTCPFlags(static_cast<uint16_t>(q.ColumnInt32("TCPFlags")));
        r.InitialRTTns = q.ColumnInt64("InitialRTTns");
        r.Tunnelflags = WordToTunnelFlags(static_cast<uint16_t>(q.ColumnInt32("TunnelFlags")));
        r.ClientRandom = q.ColumnText("ClientRandom");
        AddTCPConversation(r);
    });
    ReadTable(Database, SqlSelectUDPConversations, fileid, [&](const tSQLiteStatement& q) {
        tUDPConversation r;
        r.initialize(fileid);
        r.SocketPair = ReadSocketPair(q);
        ReadCommon(q, r, fileid);
        r.Tunnelflags = WordToTunnelFlags(static_cast<uint16_t>(q.ColumnInt32("TunnelFlags")));
        r.ClientRandom = q.ColumnText("ClientRandom");
        AddUDPConversation(r);
    });
    ReadTable(Database, SqlSelectNameResolution, fileid, [&](const tSQLiteStatement& q) {
        tNameResolutionEntry r;
        r.initialize(fileid);
        r.FQDN.setFQDN(q.ColumnText("fqdn"));
        r.Answer = ReadAnswer(q);
        r.ReplyCode = NumberToReturnCode(q.ColumnInt64("ReplyCode"));
        r.FrameCount = q.ColumnInt32("FrameCount");
        ReadFrames(q, r);
        r.QueryTypes = NumberToDNSRecordTypeSet(q.ColumnInt64("QueryTypes"));
        r.QueryOnly = q.ColumnBool("FlagQueryOnly");
        r.isAnswer = q.ColumnBool("FlagIsAnswer");
        r.Markers = ReadMarkers(q);
        r.InterfaceList = ReadInterfaces(q, fileid);
        AddNameResolution(std::move(r));
    });
    return true;
}

bool tConversationStorage::LoadFirstFileConversationsFromDatabase(tSQLiteConnection& Database) {
    if (!Database.IsOpen())
        throw tAssertionError("Database not assigned or not open (tConversationStorage.LoadConversationsFromDatabase)");
    std::string filename;
    int64_t filesize = 0;
    tDateTime filedate;
    tFrameTimeStamp first, last;
    {
        tSQLiteStatement query(Database, SqlSelectFilelist);
        if (!query.Step()) return false;
        filename = query.ColumnText("filename");
        filesize = query.ColumnInt64("filesize");
        filedate = query.ColumnDateTime("filedate");
        first = ReadTimeStamp(query, "firstframetimestamp", "firstframenanoseconds");
        last = ReadTimeStamp(query, "lastframetimestamp", "lastframenanoseconds");
    }
    return LoadConversationsFromDatabase(Database, filename, filesize, filedate, first, last);
}

// ---- Copying between stores ----

void tConversationStorage::ForceFileIDOnInterfaceList(tInterfaceFileIDList& InterfaceList, int32_t FileID) {
    for (tInterfaceFileIDEntry& entry : InterfaceList) entry.FileIndex = FileID;
}

namespace {

template <typename R>
R CopyForFile(const R& Record, int32_t FileID) {
    R copy = Record;
    if (FileID != 0) {
        copy.FirstFileID = FileID;
        copy.LastFileID = FileID;
        tConversationStorage::ForceFileIDOnInterfaceList(copy.InterfaceList, FileID);
    }
    return copy;
}

}  // namespace

void tConversationStorage::AddConversationsFromStore(const tConversationStorage& Store, int32_t FileID) {
    if (&Store == this)
        throw tAssertionError("A store cannot take over its own records (tConversationStorage.AddConversationsFromStore)");
    for (const auto& [key, r] : Store.priv_dictMACEndpoints) AddMACEndpoint(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictMACConversations) AddMACConversation(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictIPv4Endpoints) AddIPv4Endpoint(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictIPv4Conversations) AddIPv4Conversation(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictIPv6Endpoints) AddIPv6Endpoint(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictIPv6Conversations) AddIPv6Conversation(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictTCPConversations) AddTCPConversation(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictUDPConversations) AddUDPConversation(CopyForFile(r, FileID));
    for (const auto& [key, r] : Store.priv_dictNameResolutions) AddNameResolution(CopyForFile(r, FileID));
}

}  // namespace morwick
