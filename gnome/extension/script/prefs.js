// The preferences' entry GNOME Shell 43 and 44 load, as a script.
const {Adw, GLib, Gtk} = imports.gi;
const ExtensionUtils = imports.misc.extensionUtils;
const Me = ExtensionUtils.getCurrentExtension();

function init() {
}

function fillPreferencesWindow(window) {
    window.add(Me.imports.preferences.preferencesPage({Adw, GLib, Gtk},
        ExtensionUtils.getSettings(), Me.imports.service.installedProgram(Me.path)));
}
