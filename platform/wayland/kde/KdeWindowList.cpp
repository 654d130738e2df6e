#include "platform/wayland/kde/KdeWindowList.h"

#include "platform/wayland/WaylandConnection.h"

#include <algorithm>
#include <plasma-window-management-client-protocol.h>
#include <wayland-client.h>

namespace {

// The newest version we read. From the 13th a window comes with a uuid, by which it is asked
// for; before, by its number.
constexpr uint32_t kManagementVersion = 16;
constexpr uint32_t kFirstWithUuid = 13;

// For the events we leave aside, whatever their arguments.
constexpr auto ignore = [](auto...) {};

} // namespace

std::unique_ptr<KdeWindowList> KdeWindowList::open(WaylandConnection& wayland) {
    if (!wayland.offers(org_kde_plasma_window_management_interface.name))
        return nullptr;
    return std::unique_ptr<KdeWindowList>(new KdeWindowList(wayland));
}

KdeWindowList::KdeWindowList(WaylandConnection& wayland) : _wayland(wayland) {
    bindManagement();
    // The numbers of the windows listed on a new connection are new too: a window remembered
    // from before is gone, as if it had closed.
    wayland.followConnection(
        &_following, [this] { forgetEverything(); }, [this] { bindManagement(); });
}

KdeWindowList::~KdeWindowList() {
    forgetEverything();
    _wayland.flush();
}

void KdeWindowList::bindManagement() {
    _management = static_cast<org_kde_plasma_window_management*>(
        _wayland.bind(&org_kde_plasma_window_management_interface, kManagementVersion));
    if (!_management)
        return;
    _version = wl_proxy_get_version(reinterpret_cast<wl_proxy*>(_management));
    static const org_kde_plasma_window_management_listener listener{
        .show_desktop_changed = ignore,
        .window = &mapped,
        .stacking_order_changed = ignore,
        .stacking_order_uuid_changed = ignore,
        .window_with_uuid = &mappedWithUuid,
    };
    org_kde_plasma_window_management_add_listener(_management, &listener, this);
    // The windows already there are announced in answer to the bind, and described in answer
    // to our asking for them.
    _wayland.roundtrip();
    _wayland.roundtrip();
}

void KdeWindowList::forgetEverything() {
    for (const auto& entry : _entries)
        org_kde_plasma_window_destroy(entry->window);
    _entries.clear();
    if (_management)
        org_kde_plasma_window_management_destroy(std::exchange(_management, nullptr));
}

std::vector<Toplevels::Toplevel> KdeWindowList::listed() const {
    std::vector<Toplevel> all;
    for (const auto& entry : _entries)
        if (entry->described)
            all.push_back(entry->toplevel);
    return all;
}

bool KdeWindowList::activate(quint32 id) {
    const auto entry = std::ranges::find_if(
        _entries, [id](const auto& entry) { return entry->toplevel.id == id; });
    if (entry == _entries.end())
        return false;
    org_kde_plasma_window_set_state((*entry)->window, ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE,
                                    ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
    _wayland.flush();
    return true;
}

void KdeWindowList::follow(org_kde_plasma_window* window) {
    static const org_kde_plasma_window_listener listener{
        .title_changed = &titled,
        .app_id_changed = &named,
        .state_changed = &stated,
        .virtual_desktop_changed = ignore,
        .themed_icon_name_changed = ignore,
        .unmapped = &unmapped,
        .initial_state = &described,
        .parent_window = ignore,
        .geometry = ignore,
        .icon_changed = ignore,
        .pid_changed = &ownedBy,
        .virtual_desktop_entered = ignore,
        .virtual_desktop_left = ignore,
        .application_menu = ignore,
        .activity_entered = ignore,
        .activity_left = ignore,
        .resource_name_changed = ignore,
    };
    auto entry = std::make_unique<Entry>(Entry{this, window, {}, false});
    entry->toplevel.id = ++_lastId;
    org_kde_plasma_window_add_listener(window, &listener, entry.get());
    _entries.push_back(std::move(entry));
}

void KdeWindowList::mapped(void* data, org_kde_plasma_window_management* management, uint32_t id) {
    auto* list = static_cast<KdeWindowList*>(data);
    // A newer KWin tells of each window twice, the second time with its uuid.
    if (list->_version < kFirstWithUuid)
        list->follow(org_kde_plasma_window_management_get_window(management, id));
}

void KdeWindowList::mappedWithUuid(void* data, org_kde_plasma_window_management* management,
                                   uint32_t, const char* uuid) {
    static_cast<KdeWindowList*>(data)->follow(
        org_kde_plasma_window_management_get_window_by_uuid(management, uuid));
}

void KdeWindowList::titled(void* data, org_kde_plasma_window*, const char* title) {
    static_cast<Entry*>(data)->toplevel.title = QString::fromUtf8(title);
}

void KdeWindowList::named(void* data, org_kde_plasma_window*, const char* appId) {
    static_cast<Entry*>(data)->toplevel.appId = QString::fromUtf8(appId);
}

void KdeWindowList::stated(void* data, org_kde_plasma_window*, uint32_t flags) {
    static_cast<Entry*>(data)->toplevel.activated =
        flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
}

void KdeWindowList::described(void* data, org_kde_plasma_window*) {
    static_cast<Entry*>(data)->described = true;
}

void KdeWindowList::ownedBy(void* data, org_kde_plasma_window*, uint32_t pid) {
    static_cast<Entry*>(data)->toplevel.pid = pid;
}

void KdeWindowList::unmapped(void* data, org_kde_plasma_window* window) {
    auto* entry = static_cast<Entry*>(data);
    org_kde_plasma_window_destroy(window);
    std::erase_if(entry->list->_entries,
                  [entry](const auto& other) { return other.get() == entry; });
}
