// Calls Set on an endpoint as a client of the npm "soap" package and prints
// the answer as JSON.
// usage: node call_set.js WSDL ENDPOINT XIN
'use strict';
const soap = require('soap');

const [wsdlPath, endpoint, xIn] = process.argv.slice(2);
(async () => {
  // The service's own prefix is "soap", the package's default envelope prefix.
  const client = await soap.createClientAsync(wsdlPath, { endpoint, envelopeKey: 'SOAP-ENV' });
  const [result] = await client.SetAsync({ xIn });
  // r carries xsi:type, so the package hands it over with its attributes.
  const r = typeof result.r === 'object' ? result.r.$value : result.r;
  process.stdout.write(JSON.stringify({ r }) + '\n');
})().catch((error) => {
  process.stderr.write(String(error && error.stack ? error.stack : error) + '\n');
  process.exit(1);
});
