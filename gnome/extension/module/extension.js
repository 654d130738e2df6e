// The entry GNOME Shell 45 and later load, as a module: it hands the shell's libraries to the
// extension, which imports nothing itself.
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import GObject from 'gi://GObject';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';
import St from 'gi://St';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as PanelMenu from 'resource:///org/gnome/shell/ui/panelMenu.js';
import * as PopupMenu from 'resource:///org/gnome/shell/ui/popupMenu.js';
import {Extension as ShellExtension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {Extension} from './service.js';

export default class KelvrinExtension extends ShellExtension {
    enable() {
        this._service = new Extension({
            Clutter, Gio, GLib, GObject, Meta, Shell, St, Main, PanelMenu, PopupMenu,
            path: this.path,
            settings: () => this.getSettings(),
        });
        this._service.enable();
    }

    disable() {
        this._service.disable();
        this._service = null;
    }
}
