// The extension's preferences: which programs, besides the Kelvrin installed beside it, may ask it
// for the windows, the keystroke, the hot key and the icon (a Kelvrin the user built, say). Like
// service.js this file imports nothing: the entries hand it the libraries.

const ALLOWED = 'allowed-programs';
// Links followed at most, to the program a path names: the shell knows a caller by that.
const MOST_LINKS = 16;

// The absolute path without links, in it or at its end, as the kernel names a running program;
// null when its links go round in circles.
function realPath(GLib, path) {
    let resolved = '/';
    let rest = path.split('/');
    for (let links = 0; rest.length > 0;) {
        const part = rest.shift();
        if (part === '' || part === '.')
            continue;
        if (part === '..') {
            resolved = GLib.path_get_dirname(resolved);
            continue;
        }
        const next = GLib.build_filenamev([resolved, part]);
        if (!GLib.file_test(next, GLib.FileTest.IS_SYMLINK)) {
            resolved = next;
            continue;
        }
        if (++links > MOST_LINKS)
            return null;
        const target = GLib.file_read_link(next);
        if (GLib.path_is_absolute(target))
            resolved = '/';
        rest = [...target.split('/'), ...rest];
    }
    return resolved;
}

// The program a path names, its links followed; or why it names none.
function programAt(GLib, path) {
    if (!GLib.path_is_absolute(path))
        return {problem: 'Give the full path, starting with /'};
    const program = realPath(GLib, path);
    if (program === null)
        return {problem: `${path} links round in circles`};
    if (!GLib.file_test(program, GLib.FileTest.IS_REGULAR) ||
        !GLib.file_test(program, GLib.FileTest.IS_EXECUTABLE))
        return {problem: `${path} is no program`};
    return {program};
}

// gi: Adw, GLib and Gtk; settings: the extension's; installed: the Kelvrin installed beside it.
var preferencesPage = function (gi, settings, installed) {
    const {Adw, GLib, Gtk} = gi;
    const page = new Adw.PreferencesPage({title: 'Kelvrin', icon_name: 'edit-paste-symbolic'});
    const allowed = new Adw.PreferencesGroup({
        title: 'Programs that may ask',
        description: 'Only these programs may see the window in front, type the paste keystroke, ' +
            'hold the hot key and show the icon through this extension.',
    });
    allowed.add(new Adw.ActionRow({title: installed, subtitle: 'Installed beside the extension'}));
    const adding = new Adw.PreferencesGroup();
    const entry = new Adw.EntryRow({title: 'Add another Kelvrin by its full path',
        show_apply_button: true});
    adding.add(entry);
    page.add(allowed);
    page.add(adding);

    let listed = [];
    const list = () => {
        listed.forEach(row => allowed.remove(row));
        listed = settings.get_strv(ALLOWED).map(program => {
            const row = new Adw.ActionRow({title: program});
            const remove = new Gtk.Button({icon_name: 'list-remove-symbolic',
                tooltip_text: 'Remove', valign: Gtk.Align.CENTER, css_classes: ['flat']});
            remove.connect('clicked', () => settings.set_strv(ALLOWED,
                settings.get_strv(ALLOWED).filter(each => each !== program)));
            row.add_suffix(remove);
            allowed.add(row);
            return row;
        });
    };
    const changedId = settings.connect(`changed::${ALLOWED}`, list);
    page.connect('destroy', () => settings.disconnect(changedId));
    list();

    entry.connect('apply', () => {
        const {program, problem} = programAt(GLib, entry.get_text().trim());
        entry.set_title(problem || 'Add another Kelvrin by its full path');
        if (problem) {
            entry.add_css_class('error');
            return;
        }
        entry.remove_css_class('error');
        entry.set_text('');
        const programs = settings.get_strv(ALLOWED);
        if (program !== installed && !programs.includes(program))
            settings.set_strv(ALLOWED, [...programs, program]);
    });
    return page;
};
