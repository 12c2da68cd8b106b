// st-ethernet-ip, a client no one here wrote, against the simulator: it uploads the tag list
// and the templates when it connects, then reads a structure whole and member by member.
// Usage: node st_ethernet_ip_check.js <ab-sim>. Exit 77 (skipped) when npm has not installed it.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

let eip;
try {
    eip = require('st-ethernet-ip');
} catch (e) {
    console.log('st-ethernet-ip is not installed (scripts/deps.sh installs it): skipped');
    process.exit(77);
}

const address = '127.21.0.3';
const config = {
    controllers: [{
        address, personality: 'controllogix',
        types: [
            { name: 'DriveData', members: [{ name: 'Rpm', type: 'DINT' }, { name: 'Torque', type: 'REAL' }] },
            { name: 'MotorData', members: [{ name: 'Speed', type: 'REAL' }, { name: 'Running', type: 'BOOL' },
                { name: 'Counts', type: 'DINT', dims: [4] }, { name: 'Drive', type: 'DriveData' }] },
        ],
        tags: [
            { name: 'Motor1', type: 'MotorData', value: { Speed: 12.5, Running: true, Counts: [1, 2, 3, 4], Drive: { Rpm: 1450 } } },
            { name: 'Batch', type: 'STRING', value: 'Batch A' },
            { name: 'Counter', type: 'DINT', value: 42 },
        ],
    }],
};

function fail(text) {
    console.error('FAIL: ' + text);
    process.exitCode = 1;
}

function expect(what, got, want) {
    if (JSON.stringify(got) !== JSON.stringify(want))
        fail(`${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`);
    else
        console.log(`ok ${what} = ${JSON.stringify(got)}`);
}

async function check() {
    const PLC = new eip.Controller();
    await PLC.connect(address, 0);
    console.log('tag list: ' + PLC.tagList.map((t) => t.name).join(', '));
    const motor = PLC.tagList.find((t) => t.name === 'Motor1');
    if (!motor || !motor.type.structure)
        fail('Motor1 is not listed as a structure');
    const templates = Object.values(PLC.templateList || {}).map((t) => t._name);
    console.log('templates: ' + templates.join(', '));
    for (const name of ['MotorData', 'DriveData'])
        if (!templates.includes(name))
            fail(`template ${name} not uploaded`);
    const speed = PLC.newTag('Motor1.Speed');
    const rpm = PLC.newTag('Motor1.Drive.Rpm');
    const counter = PLC.newTag('Counter');
    const whole = PLC.newTag('Motor1');
    const batch = PLC.newTag('Batch');
    for (const t of [speed, rpm, counter, whole, batch])
        await PLC.readTag(t);
    expect('Motor1.Speed', speed.value, 12.5);
    expect('Motor1.Drive.Rpm', rpm.value, 1450);
    expect('Counter', counter.value, 42);
    expect('Motor1.Speed (whole structure)', whole.value && whole.value.Speed, 12.5);
    expect('Motor1.Drive.Rpm (whole structure)', whole.value && whole.value.Drive && whole.value.Drive.Rpm, 1450);
    expect('Batch', batch.value, 'Batch A');
    PLC.destroy();
}

const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'st-eip-')), 'controllers.json');
fs.writeFileSync(file, JSON.stringify(config));
const sim = spawn(process.argv[2], ['--config', file], { stdio: ['pipe', 'pipe', 'inherit'] });
const limit = setTimeout(() => {
    fail('no result within 30 s');
    sim.kill();
    process.exit(1);
}, 30000);
let started = false;
sim.stdout.on('data', (chunk) => {
    if (started || !chunk.toString().includes('listening'))
        return;
    started = true;
    check()
        .catch((e) => fail(String(e && e.stack || e)))
        .finally(() => {
            // The client keeps timers of its own alive: end when the simulator has.
            clearTimeout(limit);
            sim.on('exit', () => process.exit(process.exitCode || 0));
            sim.kill();
        });
});
