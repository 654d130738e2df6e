// What Kelvrin needs of GNOME Shell and cannot have as a Wayland client of Mutter: the window in
// front, bringing a window back, the paste keystroke and a key combination held for it. The shell
// offers them on the session bus to the Kelvrin program of this user alone.
//
// This file imports nothing: the shell's libraries come from the entry file, which GNOME 43 and 44
// load as a script (extension.js) and GNOME 45 and later as a module (built from the same
// source), so that one tree serves both.

var BUS_NAME = 'io.github.kelvrin.Kelvrin.Shell';
var OBJECT_PATH = '/io/github/kelvrin/Kelvrin/Shell';
const INTERFACE_NAME = 'io.github.kelvrin.Kelvrin.Shell1';
// Where the top bar keeps the icon.
const STATUS_AREA_ROLE = 'kelvrin';

const INTERFACE = `<node>
  <interface name="${INTERFACE_NAME}">
    <!-- Windows are known by numbers of the extension's own, never given twice while it runs.
         The window that has the keyboard; id 0 when none has. -->
    <method name="ActiveWindow">
      <arg type="u" name="id" direction="out"/>
      <arg type="s" name="appId" direction="out"/>
      <arg type="s" name="wmInstance" direction="out"/>
      <arg type="s" name="title" direction="out"/>
      <arg type="x" name="pid" direction="out"/>
    </method>
    <!-- Every window, as the task bar would list it: id, app id, title, pid, active. -->
    <method name="Windows">
      <arg type="a(ussxb)" name="windows" direction="out"/>
    </method>
    <!-- Activates the window as the task bar would; false when there is no such window. -->
    <method name="Activate">
      <arg type="u" name="id" direction="in"/>
      <arg type="b" name="found" direction="out"/>
    </method>
    <!-- Whether the clipboard now holds the shell's own copy of what a program that quit had
         (GNOME keeps its text when the owner goes): no copy of the user's. -->
    <method name="ClipboardKeptByShell">
      <arg type="b" name="kept" direction="out"/>
    </method>
    <!-- The clipboard now: a number that grows with each change of its owner, the types the
         owner offers in its order (none when there is no owner), and whether it is the shell's
         own copy, as ClipboardKeptByShell tells. The caller is told of each change from then on
         (ClipboardChanged), as the holder of Kelvrin's place; an error when another holds it. -->
    <method name="Clipboard">
      <arg type="u" name="serial" direction="out"/>
      <arg type="as" name="types" direction="out"/>
      <arg type="b" name="keptByShell" direction="out"/>
    </method>
    <!-- Writes what the owner offers under the type into the file descriptor (a pipe's end) and
         closes it; false when the clipboard has changed since the serial, or the owner failed. -->
    <method name="ReadClipboard">
      <arg type="u" name="serial" direction="in"/>
      <arg type="s" name="type" direction="in"/>
      <arg type="h" name="fd" direction="in"/>
      <arg type="b" name="read" direction="out"/>
    </method>
    <!-- Presses the keys (X keysyms, which are Clutter's keyvals) in order and releases them in
         the reverse order, only while the target window has the keyboard; false, with nothing
         sent, when another window has it. The keys wait (half a second at most for each) until
         the target has come to the front and, for a caller that put the clipping on the X11
         clipboard just before, until the shell offers that clipboard to Wayland programs too:
         they would paste the clipboard before it otherwise. -->
    <method name="PressKeys">
      <arg type="u" name="target" direction="in"/>
      <arg type="au" name="keyvals" direction="in"/>
      <arg type="b" name="afterX11Clipboard" direction="in"/>
      <arg type="b" name="sent" direction="out"/>
    </method>
    <!-- Holds the combination (as GTK writes accelerators, "<Control>Down") for the caller, in
         place of the one it held before; false when the shell cannot have it, or another caller
         holds Kelvrin's place (the combination and the icon: one Kelvrin at a time). The shell
         lets go when the caller leaves the bus. -->
    <method name="GrabHotKey">
      <arg type="s" name="accelerator" direction="in"/>
      <arg type="b" name="grabbed" direction="out"/>
    </method>
    <method name="ReleaseHotKey"/>
    <!-- Shows Kelvrin's icon in the top bar, with a menu of the items (a name to tell it by, the
         text the user reads, and whether it can be chosen now; the names and texts empty for a
         separator), in place of the one before; false when another caller holds Kelvrin's
         place. The same names again only change what can be chosen, in the open menu too. The
         icon goes when the caller leaves the bus. -->
    <method name="ShowIndicator">
      <arg type="a(ssb)" name="items" direction="in"/>
      <arg type="b" name="shown" direction="out"/>
    </method>
    <!-- Sent to the caller whose menu it is as the user opens it, so that the caller can say
         what can be chosen now; and with the name of the item the user chose. -->
    <signal name="IndicatorOpened"/>
    <signal name="IndicatorItemChosen">
      <arg type="s" name="name"/>
    </signal>
    <!-- Sent to the holder of Kelvrin's place once it asked for the clipboard, at each change,
         as Clipboard tells of it. -->
    <signal name="ClipboardChanged">
      <arg type="u" name="serial"/>
      <arg type="as" name="types"/>
      <arg type="b" name="keptByShell"/>
    </signal>
    <!-- Sent to the caller that holds the combination, at each press, with the window that had
         the keyboard then, as ActiveWindow tells of it. -->
    <signal name="HotKeyPressed">
      <arg type="u" name="id"/>
      <arg type="s" name="appId"/>
      <arg type="s" name="wmInstance"/>
      <arg type="s" name="title"/>
      <arg type="x" name="pid"/>
    </signal>
  </interface>
</node>`;

// A window comes to the front, and the shell takes over an X11 program's clipboard, within
// milliseconds; later on a loaded machine.
const WAIT_MS = 500;

// The shell's copy follows its owner's going within the same turn of its main loop.
const KEPT_AT_ONCE_US = 100 * 1000;

const PROC_EXE = pid => `/proc/${pid}/exe`;

// The Kelvrin installed beside this extension: PREFIX/share/gnome-shell/extensions/UUID goes with
// PREFIX/bin/kelvrin (/usr, /usr/local, or ~/.local for a user's own installation).
function installedProgram(extensionPath) {
    const prefix = extensionPath.replace(/\/+$/, '').split('/').slice(0, -4).join('/');
    return `${prefix}/bin/kelvrin`;
}

var Extension = class {
    // gi: the libraries (Clutter, Gio, GLib, GObject, Meta, Shell, St), the shell's Main,
    // PanelMenu and PopupMenu, the extension's path, and a function giving its settings.
    constructor(gi) {
        this._gi = gi;
    }

    enable() {
        const {Gio} = this._gi;
        this._settings = this._gi.settings();
        this._program = installedProgram(this._gi.path);
        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this._methods());
        this._exported.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._keyboard = null;
        this._holder = null;
        this._hotKey = null;
        this._indicator = null;
        this._ids = new WeakMap();
        this._lastId = 0;
        this._pressedId = global.display.connect('accelerator-activated',
            (display, action) => this._pressed(action));
        this._clipboardFromX11 = false;
        this._clipboardKept = false;
        this._clipboardSerial = 0;
        this._emptiedAt = null;
        this._ownerId = global.display.get_selection().connect('owner-changed',
            (selection, type, source) => this._ownerChanged(type, source));
    }

    disable() {
        this._letGo();
        global.display.disconnect(this._pressedId);
        global.display.get_selection().disconnect(this._ownerId);
        this._gi.Gio.bus_unown_name(this._nameId);
        this._exported.unexport();
        this._exported = null;
        this._keyboard = null;
        this._settings = null;
    }

    // The methods as the bus calls them: each checks its caller first, and answers asynchronously
    // once the caller is known.
    _methods() {
        const answer = (name, work) => (parameters, invocation) => {
            this._checkCaller(invocation).then(() => work(...parameters, invocation)).then(
                result => invocation.return_value(result)
            ).catch(error => {
                invocation.return_dbus_error(`${BUS_NAME}.Error.${error.kind || 'Failed'}`,
                    `${name}: ${error.message}`);
            });
        };
        const {GLib} = this._gi;
        return {
            ActiveWindowAsync: answer('ActiveWindow', () =>
                new GLib.Variant('(usssx)', this._describe(global.display.focus_window))),
            WindowsAsync: answer('Windows', () => {
                const focused = global.display.focus_window;
                const listed = this._windows().map(window => [this._idOf(window), appIdOf(window),
                    window.get_title() || '', window.get_pid(), window === focused]);
                return new GLib.Variant('(a(ussxb))', [listed]);
            }),
            ActivateAsync: answer('Activate', id => {
                const window = this._windows().find(each => this._idOf(each) === id);
                if (window)
                    this._gi.Main.activateWindow(window);
                return new GLib.Variant('(b)', [Boolean(window)]);
            }),
            ClipboardKeptByShellAsync: answer('ClipboardKeptByShell', () =>
                new GLib.Variant('(b)', [this._clipboardKept])),
            ClipboardAsync: answer('Clipboard', (invocation) => {
                if (!this._claim(invocation.get_sender()))
                    throw busy();
                this._holder.watchesClipboard = true;
                return new GLib.Variant('(uasb)', this._clipboardNow());
            }),
            ReadClipboardAsync: answer('ReadClipboard', (serial, type, fdIndex, invocation) => {
                // Taken from the message at once, so that it is closed whatever the answer.
                const [fd] = invocation.get_message().get_unix_fd_list().steal_fds();
                return this._readClipboard(serial, type, fd).then(read =>
                    new GLib.Variant('(b)', [read]));
            }),
            PressKeysAsync: answer('PressKeys', async (target, keyvals, afterX11Clipboard) => {
                await this._until(() => this._focusIs(target), global.display,
                    'notify::focus-window');
                if (afterX11Clipboard) {
                    await this._until(() => this._clipboardFromX11,
                        global.display.get_selection(), 'owner-changed');
                }
                return new GLib.Variant('(b)', [this._pressKeys(target, keyvals)]);
            }),
            GrabHotKeyAsync: answer('GrabHotKey', (accelerator, invocation) =>
                new GLib.Variant('(b)', [this._grab(accelerator, invocation.get_sender())])),
            ShowIndicatorAsync: answer('ShowIndicator', (items, invocation) =>
                new GLib.Variant('(b)', [this._showIndicator(items, invocation.get_sender())])),
            ReleaseHotKeyAsync: answer('ReleaseHotKey', () => {
                this._release();
                return null;
            }),
        };
    }

    // The window as ActiveWindow and HotKeyPressed tell of it; all empty for none.
    _describe(window) {
        return window ? [this._idOf(window), appIdOf(window), window.get_wm_class_instance() || '',
            window.get_title() || '', window.get_pid()] : [0, '', '', '', 0];
    }

    // Mutter's own ids do not fit the 32 bits Kelvrin keeps a window's number in.
    _idOf(window) {
        if (!this._ids.has(window))
            this._ids.set(window, ++this._lastId);
        return this._ids.get(window);
    }

    // The windows of programs, not menus or tooltips.
    _windows() {
        return global.get_window_actors().map(actor => actor.meta_window)
            .filter(window => !window.is_override_redirect());
    }

    // Resolves when the caller is the Kelvrin installed beside this extension or one the user
    // allowed in its preferences; rejects, saying so, for any other program.
    async _checkCaller(invocation) {
        const {Gio, GLib} = this._gi;
        const reply = await new Promise((resolve, reject) => {
            Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
                'org.freedesktop.DBus', 'GetConnectionUnixProcessID',
                new GLib.Variant('(s)', [invocation.get_sender()]), null,
                Gio.DBusCallFlags.NONE, -1, null, (bus, result) => {
                    try {
                        resolve(bus.call_finish(result));
                    } catch (error) {
                        reject(error);
                    }
                });
        });
        const [pid] = reply.deepUnpack();
        let program = '';
        try {
            program = GLib.file_read_link(PROC_EXE(pid));
        } catch (error) {
            // A process of another user, or one gone already: not ours to answer.
        }
        const allowed = [this._program, ...this._settings.get_strv('allowed-programs')];
        if (!allowed.includes(program)) {
            const refusal = new Error(`only ${allowed.join(', ')} may ask, not ${program || 'an unknown program'}`);
            refusal.kind = 'AccessDenied';
            throw refusal;
        }
    }

    _ownerChanged(type, source) {
        const {GLib, GObject, Meta} = this._gi;
        if (type !== Meta.SelectionType.SELECTION_CLIPBOARD)
            return;
        // Mutter's sources are private types, known by name.
        const kind = source ? GObject.type_name(source.constructor.$gtype) : '';
        this._clipboardFromX11 = kind === 'MetaSelectionSourceX11';
        // When the owner goes, the shell puts a copy of its text in its place at once, from
        // memory.
        const now = GLib.get_monotonic_time();
        this._clipboardKept = kind === 'MetaSelectionSourceMemory' && this._emptiedAt !== null &&
            now - this._emptiedAt <= KEPT_AT_ONCE_US;
        this._emptiedAt = source ? null : now;
        this._clipboardSerial++;
        if (this._holder?.watchesClipboard)
            this._tellHolder('ClipboardChanged', '(uasb)', this._clipboardNow());
    }

    _clipboardNow() {
        const {Meta} = this._gi;
        const types = global.display.get_selection()
            .get_mimetypes(Meta.SelectionType.SELECTION_CLIPBOARD);
        return [this._clipboardSerial, types, this._clipboardKept];
    }

    // The owner writes into the stream, which is closed whatever happens: its reader waits for
    // the end.
    async _readClipboard(serial, type, fd) {
        const {Gio, Meta} = this._gi;
        const stream = new Gio.UnixOutputStream({fd, close_fd: true});
        try {
            if (serial !== this._clipboardSerial)
                return false;
            return await new Promise((resolve, reject) => {
                global.display.get_selection().transfer_async(
                    Meta.SelectionType.SELECTION_CLIPBOARD, type, -1, stream, null,
                    (selection, result) => {
                        try {
                            resolve(selection.transfer_finish(result));
                        } catch (error) {
                            reject(error);
                        }
                    });
            });
        } catch (error) {
            // The owner failed or went, or the reader stopped reading.
            return false;
        } finally {
            stream.close(null);
        }
    }

    // Resolves once ready() holds, looked at again at each emission of the object's signal, or
    // after WAIT_MS without.
    _until(ready, object, signal) {
        if (ready())
            return Promise.resolve();
        const {GLib} = this._gi;
        return new Promise(resolve => {
            const done = () => {
                object.disconnect(handler);
                GLib.source_remove(timeout);
                resolve();
            };
            const handler = object.connect(signal, () => {
                if (ready())
                    done();
            });
            const timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, WAIT_MS, () => {
                object.disconnect(handler);
                resolve();
                return GLib.SOURCE_REMOVE;
            });
        });
    }

    _focusIs(target) {
        const window = global.display.focus_window;
        return Boolean(window) && this._idOf(window) === target;
    }

    _pressKeys(target, keyvals) {
        const {Clutter, GLib} = this._gi;
        if (!this._exported || !this._focusIs(target))
            return false;
        if (!this._keyboard) {
            this._keyboard = Clutter.get_default_backend().get_default_seat()
                .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        }
        for (const keyval of keyvals)
            this._keyboard.notify_keyval(GLib.get_monotonic_time(), keyval, Clutter.KeyState.PRESSED);
        for (const keyval of [...keyvals].reverse())
            this._keyboard.notify_keyval(GLib.get_monotonic_time(), keyval, Clutter.KeyState.RELEASED);
        return true;
    }

    // Kelvrin's place (the combination and the icon) is one caller's at a time: true when it is
    // the caller's now. A holder that ends without letting go (a crash) must not keep the keys
    // from the user, nor leave its icon behind.
    _claim(caller) {
        if (this._holder)
            return this._holder.caller === caller;
        const {Gio} = this._gi;
        const watch = Gio.bus_watch_name_on_connection(Gio.DBus.session, caller,
            Gio.BusNameWatcherFlags.NONE, null, () => this._letGo());
        this._holder = {caller, watch};
        return true;
    }

    _letGo() {
        this._release();
        this._indicator?.destroy();
        this._indicator = null;
        if (this._holder)
            this._gi.Gio.bus_unwatch_name(this._holder.watch);
        this._holder = null;
    }

    _grab(accelerator, caller) {
        const {Meta, Shell, Main} = this._gi;
        if (!this._claim(caller))
            return false;
        this._release();
        const action = global.display.grab_accelerator(accelerator, Meta.KeyBindingFlags.NONE);
        if (action === Meta.KeyBindingAction.NONE)
            return false;
        const name = Meta.external_binding_name_for_action(action);
        Main.wm.allowKeybinding(name, Shell.ActionMode.NORMAL | Shell.ActionMode.OVERVIEW);
        this._hotKey = {action, name};
        return true;
    }

    _release() {
        if (!this._hotKey)
            return;
        global.display.ungrab_accelerator(this._hotKey.action);
        this._gi.Main.wm.allowKeybinding(this._hotKey.name, this._gi.Shell.ActionMode.NONE);
        this._hotKey = null;
    }

    // The icon in the top bar, where GNOME shows no tray; its menu is Kelvrin's.
    _showIndicator(items, caller) {
        if (!this._claim(caller))
            return false;
        const names = items.map(([name]) => name);
        if (!this._indicator || names.join('\n') !== this._indicatorNames.join('\n'))
            this._buildIndicator(items);
        items.forEach(([name, , enabled], index) => {
            if (name)
                this._indicatorItems[index].setSensitive(enabled);
        });
        return true;
    }

    _buildIndicator(items) {
        const {Gio, Main, PanelMenu, PopupMenu, St} = this._gi;
        this._indicator?.destroy();
        this._indicator = new PanelMenu.Button(0.0, 'Kelvrin', false);
        const icon = Gio.FileIcon.new(Gio.File.new_for_path(`${this._gi.path}/kelvrin.svg`));
        this._indicator.add_child(new St.Icon({gicon: icon, style_class: 'system-status-icon'}));
        this._indicatorNames = items.map(([name]) => name);
        this._indicatorItems = items.map(([name, text]) => {
            if (!name) {
                const separator = new PopupMenu.PopupSeparatorMenuItem();
                this._indicator.menu.addMenuItem(separator);
                return separator;
            }
            // Shortcuts are Kelvrin's window's; the menu shows the text alone.
            return this._indicator.menu.addAction(text.split('\t')[0].replace(/&(.)/g, '$1'),
                () => this._tellHolder('IndicatorItemChosen', '(s)', [name]));
        });
        this._indicator.menu.connect('open-state-changed', (menu, open) => {
            if (open)
                this._tellHolder('IndicatorOpened', '()', []);
        });
        Main.panel.addToStatusArea(STATUS_AREA_ROLE, this._indicator);
    }

    // A signal to the holder of Kelvrin's place alone: no other program learns of the presses
    // and choices.
    _tellHolder(signal, signature, values) {
        const {Gio, GLib} = this._gi;
        Gio.DBus.session.emit_signal(this._holder.caller, OBJECT_PATH, INTERFACE_NAME, signal,
            new GLib.Variant(signature, values));
    }

    _pressed(action) {
        if (!this._hotKey || action !== this._hotKey.action)
            return;
        this._tellHolder('HotKeyPressed', '(usssx)', this._describe(global.display.focus_window));
    }
};

function busy() {
    const error = new Error('another Kelvrin holds the clipboard, the hot key and the icon');
    error.kind = 'Busy';
    return error;
}

// A window's program as Wayland names it (its app_id), or as X11 does (the class of WM_CLASS).
function appIdOf(window) {
    return window.get_gtk_application_id() || window.get_sandboxed_app_id() ||
        window.get_wm_class() || '';
}
