// Only GNOME 45 and later load the extension's module form, and only GNOME 43 runs here: gjs checks
// what it can without a shell, that the service parses as a module (strict, unlike a script) and
// exports the class the module entry constructs.
import System from 'system';

const [path] = ARGV;
const {Extension} = await import(`file://${path}`);
const missing = ['enable', 'disable'].filter(method =>
    typeof Extension?.prototype?.[method] !== 'function');
if (missing.length > 0) {
    printerr(`${path} exports no extension class with ${missing.join(', ')}`);
    System.exit(1);
}
