// The preferences' entry GNOME Shell 45 and later load, as a module.
import Adw from 'gi://Adw';
import GLib from 'gi://GLib';
import Gtk from 'gi://Gtk';
import {ExtensionPreferences} from 'resource:///org/gnome/Shell/Extensions/js/extensions/prefs.js';

import {preferencesPage} from './preferences.js';
import {installedProgram} from './service.js';

export default class KelvrinPreferences extends ExtensionPreferences {
    fillPreferencesWindow(window) {
        window.add(preferencesPage({Adw, GLib, Gtk}, this.getSettings(),
            installedProgram(this.path)));
    }
}
