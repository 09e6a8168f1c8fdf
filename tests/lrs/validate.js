// Validates every statement of a JSON-lines file with Learning Locker's
// xAPI validation; prints each fault and exits 1 when there is one.
'use strict';
const fs = require('fs');
const util = require('util');
const validate = require('@learninglocker/xapi-validation').default;

const lines = fs.readFileSync(process.argv[2], 'utf8').split('\n').filter((l) => l.trim() !== '');
let faulty = 0;
for (const line of lines) {
  const statement = JSON.parse(line);
  const warnings = validate(statement);
  if (warnings.length > 0) {
    faulty += 1;
    console.error(statement.id, util.inspect(warnings, { depth: 6 }));
  }
}
console.log(`${lines.length} statements, ${faulty} faulty`);
process.exit(lines.length > 0 && faulty === 0 ? 0 : 1);
