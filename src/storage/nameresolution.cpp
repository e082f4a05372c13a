// DNS name resolutions of the conversation store: every question and every answer record
// of a DNS message becomes an entry; entries with the same name (letter case ignored),
// direction, answer and reply code are merged.
#include <algorithm>
#include <string>
#include <utility>

#include "base/errors.h"
#include "parser/parser_dns.h"
#include "storage/conversationstorage.h"

namespace morwick {

void tNameResolutionDetails::initialize(const tFQDN& NewFQDN, bool NewIsAnswer, uint8_t NewIPVersion,
                                        const tNameResolutionAnswer& NewAnswer, tMarkerSet NewMarker,
                                        tDNSRecordType NewQueryType, bool NewQueryOnly,
                                        tDNSReturnCode NewReturnCode) {
    FQDN = NewFQDN;
    isAnswer = NewIsAnswer;
    IPVersion = NewIPVersion;
    Answer = NewAnswer;
    Marker = NewMarker;
    QueryType = NewQueryType;
    QueryOnly = NewQueryOnly;
    ReplyCode = NewReturnCode;
}

void tConversationStorage::AddNameResolution(tNameResolutionEntry Value) {
    std::string key = Value.DictionaryKey();
    const auto it = priv_dictNameResolutions.find(key);
    if (it == priv_dictNameResolutions.end()) {
        priv_dictNameResolutions.emplace(std::move(key), std::move(Value));
        return;
    }
    tNameResolutionEntry& E = it->second;
    const tNameResolutionEntry& V = Value;
    E.FrameCount += V.FrameCount;
    // First and last values field by field, as for the other records.
    if (E.FirstFileID >= V.FirstFileID) {
        E.FirstFileID = std::min(E.FirstFileID, V.FirstFileID);
        E.FirstFrame = std::min(E.FirstFrame, V.FirstFrame);
        E.FirstFrameOffset = std::min(E.FirstFrameOffset, V.FirstFrameOffset);
        if (V.FirstFrameTime < E.FirstFrameTime) E.FirstFrameTime = V.FirstFrameTime;
    }
    if (V.LastFileID >= E.LastFileID) {
        E.LastFileID = std::max(E.LastFileID, V.LastFileID);
        E.LastFrame = std::max(E.LastFrame, V.LastFrame);
        E.LastFrameOffset = std::max(E.LastFrameOffset, V.LastFrameOffset);
        if (V.LastFrameTime > E.LastFrameTime) E.LastFrameTime = V.LastFrameTime;
    }
    E.QueryTypes |= V.QueryTypes;
    E.Attributes |= V.Attributes;
    E.Markers |= V.Markers;
}

void tConversationStorage::AddNameResolutionDetails(const tNameResolutionDetails& Details,
                                                    const tAbsoluteFileInterface& Interface,
                                                    const tFrameReference& Ref) {
    if (Details.FQDN.FullFQDN.empty())
        throw tAssertionError("Empty FQDN (tConversationStorage.AddNameResolutionDetails)");
    tNameResolutionEntry entry;
    entry.initialize(priv_filedbindex);
    tInterfaceFileIDEntry iface;
    iface.initialize(Interface);
    entry.InterfaceList.push_back(iface);
    entry.FQDN = Details.FQDN;
    entry.isAnswer = Details.isAnswer;
    entry.Answer = Details.Answer;
    entry.FrameCount = 1;
    entry.FirstFrame = Ref.FrameIndex;
    entry.LastFrame = Ref.FrameIndex;
    entry.FirstFrameOffset = Ref.FileOffset;
    entry.LastFrameOffset = Ref.FileOffset;
    entry.FirstFrameTime = Ref.Timestamp;
    entry.LastFrameTime = Ref.Timestamp;
    entry.QueryTypes = tDNSRecordTypeSet{Details.QueryType};
    entry.QueryOnly = Details.QueryOnly;
    entry.Markers = Details.Marker;
    entry.Attributes = Ref.Attributes;
    entry.ReplyCode = Details.ReplyCode;
    AddNameResolution(std::move(entry));
}

void tConversationStorage::AddNameResolutionsOfFrame(const tFrameParser& DNSParser, uint8_t IPVersion,
                                                     const tFrameReference& Ref,
                                                     const tAbsoluteFileInterface& Interface) {
    const auto* dns = dynamic_cast<const tDNSParser*>(&DNSParser);
    if (!dns) return;
    const tMarkerSet markers{mFoundByDNS};
    const tNameResolutionAnswer noAnswer;
    tNameResolutionDetails details;

    // The sets hold only the records that were parsed, which can be fewer than announced.
    const tDNSQueryRecordSet& questions = dns->QueryRecordSet();
    const size_t questionCount = std::min<size_t>(dns->QueryCount(), questions.size());
    for (size_t i = 0; i < questionCount; ++i) {
        const tDNSQueryRecord& q = questions[i];
        if (q.Name.FullFQDN.empty()) continue;
        details.initialize(q.Name, dns->isResponse(), IPVersion, noAnswer, markers, q.RecordType, true,
                           dns->ReplyCode());
        AddNameResolutionDetails(details, Interface, Ref);
    }

    const tDNSAnswerRecordSet& answers = dns->AnswerRecordSet();
    const size_t answerCount = std::min<size_t>(dns->AnswerCount(), answers.size());
    for (size_t i = 0; i < answerCount; ++i) {
        const tDNSAnswerRecord& a = answers[i];
        if (a.Name.FullFQDN.empty()) continue;
        details.initialize(a.Name, dns->isResponse(), IPVersion, a.Answer, markers, a.RecordType, false,
                           dns->ReplyCode());
        AddNameResolutionDetails(details, Interface, Ref);
    }
}

}  // namespace morwick
