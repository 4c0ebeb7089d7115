// Handlers of the MULTI tags the sign supports, called by the MULTI parser.
// Each gets the tag's text from the character after "[" (`tag`) up to its
// closing "]" (`end`, exclusive; nothing at or after it is read), checks the
// tag's values against the sign and the object store, changes the message's
// attributes or prepares its current element, and returns 2 or a
// dmsMultiSyntaxError value.
#pragma once

#include "display/multi_parser.h"

int multi_tag_cb(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_pb(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_cf(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_fl(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_fl_end(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_fo(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_f(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_g(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_hc(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_jl(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_jp(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
// Shortens `end` to the end of the rate's digits; the moving text follows.
int multi_tag_mv(CMULTIParser& parser, const char* tag, const char*& end, CMessage& message);
int multi_tag_ms(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_ms_end(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_nl(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_np(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_pt(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_sc(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_sc_end(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_cr(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);
int multi_tag_tr(CMULTIParser& parser, const char* tag, const char* end, CMessage& message);

// Value of a run of hexadecimal digits in [from, end): 0-9 and upper-case A-F
// are digits, any other character counts as a 0 digit in its place.
uint32_t multi_hex_value(const char* from, const char* end);
