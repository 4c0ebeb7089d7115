// The network screens of the front panel: see network.h.
#include "frontpanel/screens/network.h"

#include "comm/network.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"

#include <cstdio>
#include <iterator>

const menu_text NEXT_BOOT_FOOTER = {"* = TAKES EFFECT ON NEXT BOOT", "* = NECESSITE UN REDEMARAGE"};

namespace {

const uint32_t DHCP_MODE = 2;
const int REFUSED = 3; // the store's "value refused"

bool dynamic_addressing(const address_entry_row&) {
    return db_get(obj::halvEthernetMode) == DHCP_MODE;
}

uint32_t running_address(const address_entry_row&) {
    return net_ip_address;
}
uint32_t running_mask(const address_entry_row&) {
    return net_subnet_mask;
}
uint32_t running_gateway(const address_entry_row&) {
    return net_gateway_address;
}
uint32_t running_time_server(const address_entry_row&) {
    return net_ntp_server_address;
}

int store_checked(const address_entry_row& row, uint32_t address, bool (*usable)(uint32_t)) {
    if (usable && !usable(address)) return REFUSED;
    return db_set(row.object, address, DB_NOTIFY);
}
int store_host(const address_entry_row& row, uint32_t address, bool) {
    return store_checked(row, address, usable_host_address);
}
int store_mask(const address_entry_row& row, uint32_t address, bool) {
    return store_checked(row, address, usable_subnet_mask);
}

constexpr address_entry_row running(int32_t id, DbObject object, address_source_fn current) {
    return address_entry_row(id, object).CurrentFrom(current).Suffix(ADDRESS_SUFFIX_PENDING);
}

const network_address_row ADDRESS_ROWS[] = {
    {running(130, obj::ipAdEntAddr, running_address)
         .ReadOnlyWhen(dynamic_addressing)
         .StoreBy(store_host),
     true},
    {running(132, obj::ipAdEntNetMask, running_mask)
         .ReadOnlyWhen(dynamic_addressing)
         .StoreBy(store_mask),
     true},
    {running(133, obj::ipRouteDest, running_gateway).ReadOnlyWhen(dynamic_addressing), true},
    {running(207, obj::halvNTPIPAddress, running_time_server), true},
    {address_entry_row(134, obj::halvRemoteIPAddress).Suffix(ADDRESS_SUFFIX_STORED), false},
};

const menu_text PORT_PROMPT = {"PORT", "PORT"};
const menu_text PORT_RANGE = {"MIN 1, MAX 65535", "MIN 1, MAX 65535"};

const number_entry_row CONTROLLER_PORT_ROW =
    number_entry_row(131, PORT_PROMPT, PORT_RANGE, 1, 65535, obj::halvHostIPPort);
const number_entry_row NUMBER_ROWS[] = {
    number_entry_row(135, PORT_PROMPT, PORT_RANGE, 1, 65535, obj::halvRemoteIPPort).Suffix("%u "),
    number_entry_row(208, {"MINUTES", "VALEUR"}, {"MIN 1, MAX 65535", "AUCUNE"}, 1, 65535,
                     obj::halvNTPPollTime)
        .Suffix("%u "),
};

const choice_row ETHERNET_MODES[] = {
    {1, {"STATIC", "STATIQUE"}},
    {DHCP_MODE, {"DYNAMIC", "DYNAMIQUE"}},
};

const menu_text DISABLE_ENABLE[] = {{"DISABLE", "DISABLE"}, {"ENABLE", "ENABLE"}};
const uint8_t ENABLE_ENTRY = 1;

const uint32_t OCTET_LIMIT = 255;

} // namespace

// --- address checks ----------------------------------------------------------------------

bool usable_host_address(uint32_t address) {
    const uint32_t first = address >> 24;
    const bool multicast_or_reserved = first >= 224;
    return address != 0 && !multicast_or_reserved;
}

bool usable_subnet_mask(uint32_t mask) {
    // Ones from the top, then zeros only: the complement plus one is a power of two.
    uint32_t hosts = ~mask;
    return mask != 0 && (hosts & (hosts + 1)) == 0;
}

// --- leaving a container -------------------------------------------------------------------

bool children_restart_pending(const CLCD_MenuItemEx& container) {
    for (size_t slot = 0; slot < container.ChildCount(); ++slot) {
        auto* mark = dynamic_cast<const network_change_mark*>(container.Child(slot));
        if (mark && mark->RestartPending()) return true;
    }
    return false;
}

CLCD_RestartingContainer::CLCD_RestartingContainer(int32_t id) : CLCD_MenuItemEx(id) {
    SetFooter(NEXT_BOOT_FOOTER);
}

void CLCD_RestartingContainer::Configure(const menu_row& row) {
    CLCD_MenuItemEx::Configure(row);
    if (!row.footer.english && !row.footer.french) SetFooter(NEXT_BOOT_FOOTER);
}

void CLCD_RestartingContainer::OnLeave(CLCD_Manager& manager, int32_t next_id) {
    CLCD_MenuItemEx::OnLeave(manager, next_id);
    for (size_t slot = 0; slot < ChildCount(); ++slot)
        if (Child(slot)->Id() == next_id) return; // on to a child: the change goes on
    if (children_restart_pending(*this)) the_post_office().post(LETTER_NETWORK_CONFIG_CHANGED);
}

// --- addresses -------------------------------------------------------------------------------

CLCD_NetworkAddress::CLCD_NetworkAddress(const network_address_row& row)
    : CLCD_SimpleIPAddrBase(row.entry), restart_on_leave_(row.restart_on_leave) {}

void CLCD_NetworkAddress::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleIPAddrBase::OnEnter(manager);
    spoiled_ = 0;
}

void CLCD_NetworkAddress::OnActivated(CLCD_Manager& manager) {
    CLCD_SimpleIPAddrBase::OnActivated(manager);
    Load(); // the Ethernet mode may have changed since the screen was entered
}

bool CLCD_NetworkAddress::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (ReadOnly()) return CLCD_SimpleIPAddrBase::OnKey(manager, key);
    const address_octets& octets = Octets();
    uint8_t index = octets.index;
    uint16_t code = key_event_code(*key);
    bool digit = code >= '0' && code <= '9' && !is_erase_key(*key);
    if (digit && octets.octet[index] * 10 + (code - '0') > OCTET_LIMIT)
        spoiled_ |= uint8_t(1u << index);
    bool handled = CLCD_SimpleIPAddrBase::OnKey(manager, key);
    if (is_erase_key(*key)) {
        // Erasing in a field clears its fault and that of every later field.
        spoiled_ &= uint8_t((1u << Octets().index) - 1);
    }
    return handled;
}

bool CLCD_NetworkAddress::Store(CLCD_Manager& manager) {
    if (spoiled_) return false; // a field past 255: nothing is stored
    if (!CLCD_SimpleIPAddrBase::Store(manager)) return false;
    changed_ = NewAddress() != CurrentAddress();
    return true;
}

// --- the controller's port ----------------------------------------------------------------------

CLCD_CtrlIPPort::CLCD_CtrlIPPort(int32_t id) : CLCD_SimpleNumberEntry(CONTROLLER_PORT_ROW) {
    (void)id;
}

bool CLCD_CtrlIPPort::Store(CLCD_Manager& manager) {
    stored_ = 1;
    return CLCD_SimpleNumberEntry::Store(manager);
}

void CLCD_CtrlIPPort::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    lcd.Print(row, justify, "%d%s", int(db_get(obj::halvHostIPPort)), stored_ ? "*" : " ");
}

// --- the Ethernet mode
// -----------------------------------------------------------------------------

CLCD_EthernetMode::CLCD_EthernetMode(int32_t id) : CLCD_SimpleMenuBase(id) {
    AddChoices(ETHERNET_MODES);
}

void CLCD_EthernetMode::OnSelect(CLCD_Manager&, const choice_row& choice) {
    db_set(obj::halvEthernetMode, choice.value, DB_NOTIFY);
}

void CLCD_EthernetMode::DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) {
    bool dynamic = db_get(obj::halvEthernetMode) == DHCP_MODE;
    lcd.Print(row, justify, "%s", ETHERNET_MODES[dynamic ? 1 : 0].text.Of(manager.French()));
}

// --- the enable switches
// -----------------------------------------------------------------------------

const feature_enable_row FEATURE_ENABLES[4] = {
    {TYPE_TELNET_ENABLE, 0x8, false},
    {TYPE_WEB_LCD_ENABLE, 0x10, true},
    {TYPE_ICMP_ENABLE, 0x4, false},
    {TYPE_NTP_ENABLE, 0x40, true},
};

CLCD_FeatureEnable::CLCD_FeatureEnable(int32_t id, const feature_enable_row& row)
    : CLCD_OneListWizard(id, {"", ""}), row_(row) {}

void CLCD_FeatureEnable::FillEntries(bool french) {
    list_.title = Title(french); // the list is titled like the screen
    for (size_t i = 0; i < std::size(DISABLE_ENABLE); ++i)
        entries_[i] = DISABLE_ENABLE[i].Of(french);
    entries_[std::size(DISABLE_ENABLE)] = nullptr;
}

void CLCD_FeatureEnable::Finish(CLCD_Manager&) {
    finished_ = 1;
    uint32_t features = db_get(obj::halvFeatureSet);
    if (list_.selected == ENABLE_ENTRY)
        features |= row_.bit;
    else
        features &= ~row_.bit;
    db_set(obj::halvFeatureSet, features, 0);
}

void CLCD_FeatureEnable::DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row,
                                    uint8_t justify) {
    bool enabled = (db_get(obj::halvFeatureSet) & row_.bit) != 0;
    lcd.Print(row, justify, "%s%s", DISABLE_ENABLE[enabled ? 1 : 0].Of(manager.French()),
              finished_ ? "*" : " ");
}

// --- factory records
// ----------------------------------------------------------------------------------

namespace {

CMenuItem* create_address(int32_t id, const menu_row&) {
    for (const network_address_row& row : ADDRESS_ROWS)
        if (row.entry.id == id) return new CLCD_NetworkAddress(row);
    return nullptr;
}

template <uint32_t Type> CMenuItem* create_enable(int32_t id, const menu_row&) {
    for (const feature_enable_row& row : FEATURE_ENABLES)
        if (row.type == Type) return new CLCD_FeatureEnable(id, row);
    return nullptr;
}

const menu_factory_record NETWORK_SCREEN_RECORDS[] = {
    {TYPE_ETHERNET_OPTIONS, menu_create<CLCD_RestartingContainer>},
    {TYPE_ETHERNET_MODE, menu_create<CLCD_EthernetMode>},
    {TYPE_CONTROLLER_IP, create_address},
    {TYPE_CONTROLLER_PORT, menu_create<CLCD_CtrlIPPort>},
    {TYPE_CONTROLLER_SUBNET, create_address},
    {TYPE_CONTROLLER_GATEWAY, create_address},
    {TYPE_CENTRAL_IP, create_address},
    {TYPE_CENTRAL_PORT, number_entry_create<NUMBER_ROWS>},
    {TYPE_NTP_ADDRESS, create_address},
    {TYPE_NTP_POLL_TIME, number_entry_create<NUMBER_ROWS>},
    {TYPE_TELNET_ENABLE, create_enable<TYPE_TELNET_ENABLE>},
    {TYPE_WEB_LCD_ENABLE, create_enable<TYPE_WEB_LCD_ENABLE>},
    {TYPE_ICMP_ENABLE, create_enable<TYPE_ICMP_ENABLE>},
    {TYPE_NTP_ENABLE, create_enable<TYPE_NTP_ENABLE>},
};

} // namespace

const menu_family NETWORK_SCREENS = menu_family_of(NETWORK_SCREEN_RECORDS);
