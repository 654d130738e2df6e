#include "platform/wayland/wlroots/WlrootsToplevels.h"

#include "platform/wayland/WaylandConnection.h"

#include <algorithm>
#include <wayland-client.h>
#include <wlr-foreign-toplevel-management-unstable-v1-client-protocol.h>

namespace {

// The version whose events we read: the third adds the parent, which we leave aside.
constexpr uint32_t kManagerVersion = 3;

void ignoreOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void ignoreParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

} // namespace

std::unique_ptr<WlrootsToplevels> WlrootsToplevels::open(WaylandConnection& wayland) {
    if (!wayland.offers(zwlr_foreign_toplevel_manager_v1_interface.name))
        return nullptr;
    return std::unique_ptr<WlrootsToplevels>(new WlrootsToplevels(wayland));
}

WlrootsToplevels::WlrootsToplevels(WaylandConnection& wayland) : _wayland(wayland) {
    bindManager();
    // The numbers of the windows listed on a new connection are new too: a window remembered
    // from before is gone, as if it had closed.
    wayland.followConnection(
        &_following, [this] { forgetEverything(); }, [this] { bindManager(); });
}

WlrootsToplevels::~WlrootsToplevels() {
    forgetEverything();
    _wayland.flush();
}

void WlrootsToplevels::bindManager() {
    _manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        _wayland.bind(&zwlr_foreign_toplevel_manager_v1_interface, kManagerVersion));
    if (!_manager)
        return;
    static const zwlr_foreign_toplevel_manager_v1_listener listener{&added, &finished};
    zwlr_foreign_toplevel_manager_v1_add_listener(_manager, &listener, this);
    // The windows already there are announced in answer to the bind.
    _wayland.roundtrip();
}

void WlrootsToplevels::forgetEverything() {
    for (const auto& entry : _entries)
        zwlr_foreign_toplevel_handle_v1_destroy(entry->handle);
    _entries.clear();
    if (_manager)
        zwlr_foreign_toplevel_manager_v1_destroy(std::exchange(_manager, nullptr));
}

std::vector<Toplevels::Toplevel> WlrootsToplevels::listed() const {
    std::vector<Toplevel> all;
    for (const auto& entry : _entries)
        all.push_back(entry->current);
    return all;
}

bool WlrootsToplevels::activate(quint32 id) {
    const Entry* found = entry(id);
    if (!found || !_wayland.seat())
        return false;
    zwlr_foreign_toplevel_handle_v1_activate(found->handle, _wayland.seat());
    _wayland.flush();
    return true;
}

const WlrootsToplevels::Entry* WlrootsToplevels::entry(quint32 id) const {
    const auto entry =
        std::ranges::find_if(_entries, [id](const auto& entry) { return entry->current.id == id; });
    return entry == _entries.end() ? nullptr : entry->get();
}

void WlrootsToplevels::added(void* data, zwlr_foreign_toplevel_manager_v1*,
                             zwlr_foreign_toplevel_handle_v1* handle) {
    static const zwlr_foreign_toplevel_handle_v1_listener listener{
        &titled, &named, &ignoreOutput, &ignoreOutput, &stated, &done, &closed, &ignoreParent};
    auto* list = static_cast<WlrootsToplevels*>(data);
    auto entry = std::make_unique<Entry>(Entry{list, handle, {}, {}});
    entry->current.id = entry->pending.id = ++list->_lastId;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, entry.get());
    list->_entries.push_back(std::move(entry));
}

void WlrootsToplevels::finished(void* data, zwlr_foreign_toplevel_manager_v1*) {
    // The compositor sends nothing more; the manager is destroyed now, its handles with the list.
    auto* list = static_cast<WlrootsToplevels*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(list->_manager);
    list->_manager = nullptr;
}

void WlrootsToplevels::titled(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
    static_cast<Entry*>(data)->pending.title = QString::fromUtf8(title);
}

void WlrootsToplevels::named(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    static_cast<Entry*>(data)->pending.appId = QString::fromUtf8(appId);
}

void WlrootsToplevels::stated(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    const auto* first = static_cast<const uint32_t*>(states->data);
    const auto* last = first + states->size / sizeof(uint32_t);
    static_cast<Entry*>(data)->pending.activated =
        std::find(first, last, uint32_t(ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)) != last;
}

void WlrootsToplevels::done(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto* entry = static_cast<Entry*>(data);
    entry->current = entry->pending;
}

void WlrootsToplevels::closed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
    auto* entry = static_cast<Entry*>(data);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    std::erase_if(entry->list->_entries,
                  [entry](const auto& other) { return other.get() == entry; });
}
