// The front panel's network screens under IP SETTINGS (menu 129): the
// controller's address, mask, gateway and SNMP port, the Ethernet mode, the
// central system's address and port, the time server and its poll time, and
// the enables of telnet, ICMP, the web LCD and the time client.
//
// The running network keeps the addresses it was started with; the address
// screens show those as current and mark a different stored one with "*".
// A screen whose change takes effect only at a restart keeps a changed mark;
// leaving IP SETTINGS (or RDI OPTIONS) for a menu outside it while a child
// holds such a mark posts the network-change letter, on which the peripheral
// task writes the boot monitor's start-up script and restarts the
// controller.
//
// An address typed here is stored only when every field is 0-255 (a digit
// taking a field past 255 spoils the entry) and the whole suits its role:
// the controller's own address is neither 0.0.0.0, a broadcast nor a
// multicast address, a mask is a run of ones from the top; anything else is
// refused on the screen with the stored value left as it was.
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/address_entry.h"
#include "frontpanel/screens/choice.h"
#include "frontpanel/screens/container.h"
#include "frontpanel/screens/number_entry.h"
#include "frontpanel/screens/system.h"

#include <cstddef>
#include <cstdint>

extern const menu_text NEXT_BOOT_FOOTER; // "* = TAKES EFFECT ON NEXT BOOT"

// A screen whose change waits for the restart requested when its container
// is left.
class network_change_mark {
  public:
    virtual ~network_change_mark() = default;
    virtual bool RestartPending() const = 0;
};

// True when a child of the container holds a change that waits for a restart.
bool children_restart_pending(const CLCD_MenuItemEx& container);

// Address checks by role (packed, first octet most significant).
bool usable_host_address(uint32_t address);
bool usable_subnet_mask(uint32_t mask);

// A container that requests the network restart when it is left for a menu
// outside it while a child holds a pending change (IP SETTINGS, RDI OPTIONS).
class CLCD_RestartingContainer : public CLCD_MenuItemEx {
  public:
    explicit CLCD_RestartingContainer(int32_t id);
    // The row's footer, else "* = TAKES EFFECT ON NEXT BOOT".
    void Configure(const menu_row& row) override;
    void OnLeave(CLCD_Manager& manager, int32_t next_id) override;
};

// An address screen of the network: the address base with the role check
// and the changed mark.
struct network_address_row {
    address_entry_row entry;
    bool restart_on_leave;
};
class CLCD_NetworkAddress : public CLCD_SimpleIPAddrBase, public network_change_mark {
  public:
    explicit CLCD_NetworkAddress(const network_address_row& row);
    void OnEnter(CLCD_Manager& manager) override;
    void OnActivated(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    bool RestartPending() const override { return restart_on_leave_ && changed_; }
    bool Changed() const { return changed_; }

  protected:
    bool Store(CLCD_Manager& manager) override;

  private:
    bool restart_on_leave_;
    bool changed_ = false;
    uint8_t spoiled_ = 0; // bit n: a digit took octet n past 255
};

// The controller's SNMP port: every store marks it for the restart.
class CLCD_CtrlIPPort : public CLCD_SimpleNumberEntry, public network_change_mark {
  public:
    explicit CLCD_CtrlIPPort(int32_t id);
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;
    bool RestartPending() const override { return stored_ != 0; }

  protected:
    bool Store(CLCD_Manager& manager) override;

  private:
    uint8_t stored_ = 0;
};

class CLCD_EthernetMode : public CLCD_SimpleMenuBase {
  public:
    explicit CLCD_EthernetMode(int32_t id);
    void OnSelect(CLCD_Manager& manager, const choice_row& choice) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;
};

// An enable switch of halvFeatureSet: one list step, DISABLE or ENABLE.
struct feature_enable_row {
    uint32_t type;
    uint32_t bit;
    bool restart_on_leave;
};
extern const feature_enable_row FEATURE_ENABLES[4];

class CLCD_FeatureEnable : public CLCD_OneListWizard, public network_change_mark {
  public:
    CLCD_FeatureEnable(int32_t id, const feature_enable_row& row);
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;
    bool RestartPending() const override { return row_.restart_on_leave && finished_; }

  protected:
    void FillEntries(bool french) override;
    void Finish(CLCD_Manager& manager) override;

    const feature_enable_row& row_;
    uint8_t finished_ = 0;
};

// The factory records of the network screens.
extern const menu_family NETWORK_SCREENS;
