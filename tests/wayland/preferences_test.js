// The extension's preferences page, built with real widgets on a display of its own and a
// settings store in memory: only programs are taken, by the path the shell knows a running
// program by, each once, and the Kelvrin installed beside the extension is never listed twice.
//
//   gjs -m preferences_test.js EXTENSION_DIR   (GSETTINGS_SCHEMA_DIR naming its schemas)
import Adw from 'gi://Adw?version=1';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Gtk from 'gi://Gtk?version=4.0';
import System from 'system';

const [extension] = ARGV;
const {preferencesPage} = await import(`file://${extension}/preferences.js`);
Adw.init();
const settings = new Gio.Settings({schema_id: 'org.gnome.shell.extensions.kelvrin'});
// A program stands in for the Kelvrin installed beside the extension.
const installed = '/usr/bin/env';
const page = preferencesPage({Adw, GLib, Gtk}, settings, installed);
const window = new Adw.PreferencesWindow();
window.add(page);
window.present();

const descendants = widget => {
    const all = [];
    for (let child = widget.get_first_child(); child; child = child.get_next_sibling())
        all.push(child, ...descendants(child));
    return all;
};
const failures = [];
const expect = (holds, what) => {
    if (!holds)
        failures.push(what);
};
const allowed = () => JSON.stringify(settings.get_strv('allowed-programs'));
const entry = descendants(page).find(widget => widget instanceof Adw.EntryRow);
const add = path => {
    entry.set_text(path);
    entry.emit('apply');
};

const folder = GLib.dir_make_tmp('kelvrin-preferences-XXXXXX');
const circle = `${folder}/circle`;
Gio.File.new_for_path(circle).make_symbolic_link(circle, null);
const notes = `${folder}/notes`;
GLib.file_set_contents(notes, 'not a program');
for (const notAProgram of ['kelvrin', '/nonexistent/kelvrin', notes, folder, circle]) {
    add(notAProgram);
    expect(allowed() === '[]' && entry.has_css_class('error'), `${notAProgram} was taken`);
}
// A link, through a folder that is a link on merged-/usr systems, to the program itself.
const link = `${folder}/kelvrin`;
Gio.File.new_for_path(link).make_symbolic_link('../../bin/true', null);
const [, realTrue] = GLib.spawn_command_line_sync('readlink -f /bin/true');
const program = new TextDecoder().decode(realTrue).trim();
add(link);
add(program);
add(installed);
expect(allowed() === JSON.stringify([program]), `allowed ${allowed()}, not [${program}] alone`);
expect(!entry.has_css_class('error') && entry.get_text() === '', 'a program was refused');
expect(descendants(page).some(widget => widget instanceof Adw.ActionRow &&
    widget.get_title() === program), 'the program is not listed');

const remove = descendants(page).find(widget => widget instanceof Gtk.Button &&
    widget.get_tooltip_text() === 'Remove');
remove.emit('clicked');
expect(allowed() === '[]', `removed, still allowed ${allowed()}`);
expect(!descendants(page).some(widget => widget instanceof Adw.ActionRow &&
    widget.get_title() === program), 'the removed program is still listed');

for (const name of ['kelvrin', 'circle', 'notes'])
    GLib.unlink(`${folder}/${name}`);
GLib.rmdir(folder);
if (failures.length > 0) {
    printerr(failures.join('\n'));
    System.exit(1);
}
