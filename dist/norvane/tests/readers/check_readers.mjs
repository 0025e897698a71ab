// Looks addresses up with the npm readers: maxmind (MaxMind DB) and ip2region.js (xdb).
// Usage: node check_readers.mjs FILE.mmdb FILE.xdb ADDRESSES OUT.json
// Writes {"mmdb": {"table": [...], "ids": [...]}, "xdb": {...}}: each distinct answer once
// (JSON text of the record, or null), and per address the number of its answer.
import fs from 'fs';
import maxmind from 'maxmind';
import {IPv4, loadContentFromFile, newWithBuffer} from 'ip2region.js';

const [mmdbPath, xdbPath, addressPath, outPath] = process.argv.slice(2);
const addresses = fs.readFileSync(addressPath, 'utf8').split('\n').filter((a) => a.length > 0);

function collect() {
    const table = [], ids = [], index = new Map();
    return {
        add(answer) {
            const key = answer === null ? 'null' : JSON.stringify(answer);
            if (!index.has(key)) {
                index.set(key, table.length);
                table.push(key);
            }
            ids.push(index.get(key));
        },
        result() { return {table, ids}; },
    };
}

const reader = await maxmind.open(mmdbPath);
const mmdb = collect();
for (const address of addresses)
    mmdb.add(reader.get(address));

const searcher = newWithBuffer(IPv4, loadContentFromFile(xdbPath));
const xdb = collect();
for (const address of addresses) {
    if (address.includes(':')) {
        xdb.add(null);
        continue;
    }
    const region = await searcher.search(address);
    xdb.add(region === '' ? null : region);
}

fs.writeFileSync(outPath, JSON.stringify({
    metadata: {
        databaseType: reader.metadata.databaseType,
        languages: reader.metadata.languages,
        description: reader.metadata.description,
        buildEpoch: reader.metadata.buildEpoch.getTime() / 1000,
        ipVersion: reader.metadata.ipVersion,
        recordSize: reader.metadata.recordSize,
    },
    mmdb: mmdb.result(),
    xdb: xdb.result(),
}));
