// Runs one SQL statement in DuckDB (the npm package @duckdb/node-api, found
// through NODE_PATH) and prints its rows, the values tab-separated.
// Usage: NODE_PATH=DIR/node_modules node duckdb_query.cjs SQL
const { DuckDBInstance } = require('@duckdb/node-api');

(async () => {
    const db = await DuckDBInstance.create(':memory:');
    const result = await (await db.connect()).runAndReadAll(process.argv[2]);
    for (const row of result.getRowsJson())
        console.log(row.map((value) => (typeof value === 'string' ? value : JSON.stringify(value))).join('\t'));
})().catch((error) => {
    console.error(error.message);
    process.exit(1);
});
