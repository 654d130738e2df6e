// The entry GNOME Shell 43 and 44 load, as a script: it hands the shell's libraries to the
// extension, which imports nothing itself.
const {Clutter, Gio, GLib, GObject, Meta, Shell, St} = imports.gi;
const ExtensionUtils = imports.misc.extensionUtils;
const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;
const PopupMenu = imports.ui.popupMenu;
const Me = ExtensionUtils.getCurrentExtension();

function init() {
    return new Me.imports.service.Extension({
        Clutter, Gio, GLib, GObject, Meta, Shell, St, Main, PanelMenu, PopupMenu,
        path: Me.path,
        settings: () => ExtensionUtils.getSettings(),
    });
}
