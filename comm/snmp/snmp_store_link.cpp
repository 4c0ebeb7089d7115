// Connects the codec's hooks to the object store: the local-time feature bit
// and the two MIB-II snmp counters the codec itself raises.
#include "comm/snmp/asn1.h"
#include "comm/snmp/snmp.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

bool store_local_time_feature() {
    return TheDatabase().IsLocalTimeFeature() != 0;
}
void store_out_bad_values() {
    TheDatabase().IncCounter(obj::snmpOutBadValues);
}
void store_in_get_responses() {
    TheDatabase().IncCounter(obj::snmpInGetResponses);
}

} // namespace

void snmp_codec_attach_store() {
    asn1_set_local_time_feature_source(store_local_time_feature);
    snmp_set_out_bad_values_counter(store_out_bad_values);
    snmp_set_in_get_responses_counter(store_in_get_responses);
}
