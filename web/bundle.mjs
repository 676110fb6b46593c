// The page's script as the site serves it: console.js with each module it
// imports written in where the import stands, so that the first screen
// waits for one file rather than for ten (a browser asks a host for six at
// a time). Each module keeps a scope of its own, and gives console.js the
// names it imports, which are the names the module exports; a module
// imports nothing itself. The modules stay separate in web/, where node's
// tables import them.
//   node web/bundle.mjs console.js OUTPUT
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

const [entry, output] = process.argv.slice(2);
const importLine = /^import \{ ([\w, ]+) \} from '\.\/([\w]+\.js)';$/;

const lines = readFileSync(entry, 'utf8').split('\n').map((line) => {
  const imported = importLine.exec(line);
  if (!imported) {
    if (line.startsWith('import ')) throw new Error(`${entry}: an import of another form: ${line}`);
    return line;
  }
  const [, names, file] = imported;
  const module = readFileSync(join(dirname(entry), file), 'utf8');
  if (/^import /m.test(module)) throw new Error(`${file} imports a module itself`);
  const exported = [...module.matchAll(/^export (?:function|const|class) (\w+)/gm)].map((match) => match[1]);
  for (const name of names.split(', ')) {
    if (!exported.includes(name)) throw new Error(`${file} does not export ${name}`);
  }
  const body = module.replace(/^export (?=function|const|class)/gm, '').trimEnd();
  return `// ${file}\nconst { ${names} } = (() => {\n${body}\nreturn { ${names} };\n})();`;
});
writeFileSync(output, lines.join('\n'));
