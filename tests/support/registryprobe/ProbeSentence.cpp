// Registered by a static initialiser only; no other file refers to this class.
#include "instruments/nmea/NMEASentence.h"

namespace {

class ProbeSentence : public CNMEASentence
{
public:
    explicit ProbeSentence(CNMEASentenceType* type) : CNMEASentence(type) {}
    bool Parse(char*) override { return true; }
    static CNMEASentenceTypeOf<ProbeSentence> Type;
};

CNMEASentenceTypeOf<ProbeSentence> ProbeSentence::Type(1, "PTSXPROBE");

} // namespace
